// SPDX-License-Identifier: MIT
#pragma once

// Where the checks read the system. The defaults are the real places; a test points them at a
// tree of its own.

#include <QString>
#include <QStringList>

namespace doctor {

struct SystemPaths {
    QString sys = QStringLiteral("/sys");
    QString proc = QStringLiteral("/proc");
    QString dev = QStringLiteral("/dev");
    // udev's database: one file per device, "c<major>:<minor>" for character devices.
    QString udevData = QStringLiteral("/run/udev/data");
    // Rule folders, the one that wins over a file of the same name first.
    QStringList udevRuleDirs = {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
                                QStringLiteral("/lib/udev/rules.d"), QStringLiteral("/usr/lib/udev/rules.d")};
    QString dpkgStatus = QStringLiteral("/var/lib/dpkg/status");
    QString groupFile = QStringLiteral("/etc/group");
    QString passwdFile = QStringLiteral("/etc/passwd");

    // Every default path placed below `root`.
    static SystemPaths under(const QString &root);
};

// The whole file, empty when it cannot be read.
QString readTextFile(const QString &path);

} // namespace doctor
