// SPDX-License-Identifier: MIT
#pragma once

// May this user open the device? The device node's owner, group and mode against the user's
// identity and groups, and the dialout advice when not.

#include "finding.h"
#include "system_paths.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace doctor {

// The udev rule that the project installs (not enabled): the dialout group for USB serial
// ports and a 1 ms latency timer on FTDI adapters.
inline constexpr char UdevRuleName[] = "60-trevisor-serial.rules";
inline constexpr char UdevRuleInstalled[] = "/usr/share/trevisor/udev/60-trevisor-serial.rules";

// Where the rule is on this machine: beside the program (an installed one, a build tree), then
// the package's and a source install's places; the package's place when none has it.
QString udevRuleFile();

struct UserIdentity {
    uint uid = 0;
    QString name;
    QList<uint> groups; // of this session: the primary group and the supplementary ones
};

// The identity of this process.
UserIdentity currentUser();

struct GroupEntry {
    QString name;
    uint gid = 0;
    QStringList members;
};

// Lines "name:password:gid:member,member" of /etc/group; malformed lines are left out.
QList<GroupEntry> parseGroupFile(const QString &text);
// uid to name from the lines "name:password:uid:..." of /etc/passwd.
QHash<uint, QString> parsePasswdNames(const QString &text);

struct Accounts {
    QList<GroupEntry> groups;
    QHash<uint, QString> users;
};
Accounts readAccounts(const SystemPaths &paths);

struct DeviceNode {
    bool exists = false;
    uint uid = 0;
    uint gid = 0;
    uint mode = 0; // permission bits, 0777 at most
};

// stat() of the path, following symbolic links.
DeviceNode readDeviceNode(const QString &path);

// "rw-rw----" of the permission bits.
QString modeText(uint mode);

// A port that only its owner may use: on a USB adapter the fix is the udev rule, on a built-in
// port (`builtIn`) its group and mode, which no USB rule touches.
Finding accessFinding(const QString &path, const DeviceNode &node, const UserIdentity &user,
                      const Accounts &accounts, bool builtIn = false);

} // namespace doctor
