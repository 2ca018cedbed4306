// SPDX-License-Identifier: MIT
#pragma once

// A small machine in a temporary folder: sysfs entries of serial adapters, device nodes,
// processes with open descriptors, udev rules and database, dpkg's status and the account
// files. The checks read it through SystemPaths::under(root()).

#include "system_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <unistd.h>

class SystemFixture {
public:
    SystemFixture() : root_(QFileInfo(dir_.path()).canonicalFilePath()), paths_(doctor::SystemPaths::under(root_))
    {
        write(QStringLiteral("/etc/group"), QStringLiteral("root:x:0:\ntty:x:5:\ndialout:x:20:bob\n"));
        write(QStringLiteral("/etc/passwd"), QStringLiteral("root:x:0:0:root:/root:/bin/sh\n"
                                                            "alice:x:1000:1000::/home/alice:/bin/sh\n"
                                                            "bob:x:1001:1001::/home/bob:/bin/sh\n"));
    }

    const QString &root() const { return root_; }
    const doctor::SystemPaths &paths() const { return paths_; }
    QString path(const QString &relative) const { return root_ + relative; }

    void write(const QString &relative, const QString &text) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }
    // A symbolic link at `relative` to `target` (absolute, or relative to the link's folder).
    void link(const QString &relative, const QString &target) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile::remove(path(relative));
        ASSERT_TRUE(QFile::link(target, path(relative))) << relative.toStdString();
    }

    // /dev/<name> as a plain file with these permission bits. Its group is the test's own, or
    // group 20 when the test runs as root, so that it is never the root group.
    QString addDeviceNode(const QString &name, QFile::Permissions permissions) const
    {
        const QString node = path(QStringLiteral("/dev/") + name);
        write(QStringLiteral("/dev/") + name, QString());
        QFile::setPermissions(node, permissions);
        if (::getgid() == 0) {
            EXPECT_EQ(::chown(QFile::encodeName(node).constData(), 0, 20), 0);
        }
        return node;
    }

    struct UsbAdapter {
        QString kernel = QStringLiteral("ttyUSB0");
        QString vendorId = QStringLiteral("0403");
        QString productId = QStringLiteral("6001");
        QString product = QStringLiteral("403/6001/600");
        QString name = QStringLiteral("FT232R USB UART");
        QString driver = QStringLiteral("ftdi_sio");
        QString deviceNumber = QStringLiteral("188:0");
        std::optional<int> latencyTimerMs = 16;
    };

    // The sysfs of a USB serial adapter and its device node (rw for owner and group); returns the
    // node's path.
    QString addUsbAdapter(const UsbAdapter &adapter) const
    {
        const QString usb = QStringLiteral("/sys/devices/pci0000:00/usb1/1-1");
        const QString tty = usb + QStringLiteral("/1-1:1.0/") + adapter.kernel;
        write(usb + QStringLiteral("/idVendor"), adapter.vendorId + u'\n');
        write(usb + QStringLiteral("/idProduct"), adapter.productId + u'\n');
        write(usb + QStringLiteral("/product"), adapter.name + u'\n');
        write(usb + QStringLiteral("/uevent"), QStringLiteral("DEVTYPE=usb_device\nPRODUCT=%1\n").arg(adapter.product));
        write(QStringLiteral("/sys/bus/usb-serial/drivers/%1/uevent").arg(adapter.driver), QString());
        link(tty + QStringLiteral("/driver"), path(QStringLiteral("/sys/bus/usb-serial/drivers/") + adapter.driver));
        write(QStringLiteral("/sys/class/tty/%1/dev").arg(adapter.kernel), adapter.deviceNumber + u'\n');
        link(QStringLiteral("/sys/class/tty/%1/device").arg(adapter.kernel), path(tty));
        if (adapter.latencyTimerMs)
            write(QStringLiteral("/sys/bus/usb-serial/devices/%1/latency_timer").arg(adapter.kernel),
                  QString::number(*adapter.latencyTimerMs) + u'\n');
        return addDeviceNode(adapter.kernel, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
    }

    // A process with descriptors 3, 4 ... on `targets`; `ptyIndex` writes the fdinfo of a
    // pseudo-terminal master for every target that is /dev/ptmx.
    void addProcess(qint64 pid, const QString &command, const QStringList &targets = {},
                    std::optional<int> ptyIndex = std::nullopt) const
    {
        const QString dir = QStringLiteral("/proc/%1").arg(pid);
        write(dir + QStringLiteral("/comm"), command + u'\n');
        QDir().mkpath(path(dir + QStringLiteral("/fd")));
        int fd = 3;
        for (const QString &target : targets) {
            link(dir + QStringLiteral("/fd/%1").arg(fd), target);
            if (ptyIndex && target.endsWith(QStringLiteral("/ptmx")))
                write(dir + QStringLiteral("/fdinfo/%1").arg(fd),
                      QStringLiteral("pos:\t0\nflags:\t02\ntty-index:\t%1\n").arg(*ptyIndex));
            ++fd;
        }
    }

private:
    QTemporaryDir dir_;
    QString root_;
    doctor::SystemPaths paths_;
};
