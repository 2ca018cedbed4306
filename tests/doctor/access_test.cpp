// SPDX-License-Identifier: MIT
// Check 1: the device's owner, group and mode against the user and the groups of the session.

#include "system_fixture.h"

#include "device_access.h"
#include "open_failure.h"
#include "port_facts.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using doctor::Status;

TEST(AccessCheck, ModeOwnerAndGroupsDecideWhetherTheUserMayOpenIt)
{
    const doctor::Accounts accounts{doctor::parseGroupFile(QStringLiteral("root:x:0:\ndialout:x:20:bob\n"
                                                                           "uucp:x:10:\nbroken line\n")),
                                    doctor::parsePasswdNames(QStringLiteral("root:x:0:0::/:/bin/sh\n"))};
    const doctor::UserIdentity alice{1000, QStringLiteral("alice"), {1000, 24}};
    const doctor::UserIdentity aliceInDialout{1000, QStringLiteral("alice"), {1000, 20}};
    // Joined dialout in /etc/group, but the session runs with the groups of its login.
    const doctor::UserIdentity bobBeforeRelogin{1001, QStringLiteral("bob"), {1001}};
    const doctor::UserIdentity root{0, QStringLiteral("root"), {0}};
    struct Case {
        const char *name;
        doctor::DeviceNode node;
        doctor::UserIdentity user;
        Status status;
        const char *textPart;
        const char *fix; // exact, or nullptr for none
    };
    const Case cases[] = {
        {"group dialout, user not in it", {true, 0, 20, 0660}, alice, Status::Blocking, "root:dialout rw-rw----; you (alice) are not in dialout",
         "sudo usermod -aG dialout \"$USER\", then log out and in again"},
        {"group dialout, user in it", {true, 0, 20, 0660}, aliceInDialout, Status::Ok, "you are in dialout", nullptr},
        {"joined but not logged in again", {true, 0, 20, 0660}, bobBeforeRelogin, Status::Blocking,
         "bob is in dialout, but this session started before joining it",
         "log out and in again (or, for this shell only: newgrp dialout)"},
        {"another group name", {true, 0, 10, 0660}, alice, Status::Blocking, "you (alice) are not in uucp",
         "sudo usermod -aG uucp \"$USER\", then log out and in again"},
        {"owner only", {true, 0, 0, 0600}, alice, Status::Blocking, "only its owner may use it", nullptr},
        {"group without write", {true, 0, 20, 0640}, aliceInDialout, Status::Blocking, "only its owner may use it", nullptr},
        {"owned by the user", {true, 1000, 20, 0600}, alice, Status::Ok, "you own it", nullptr},
        {"everyone", {true, 0, 0, 0666}, alice, Status::Ok, "everyone may read and write it", nullptr},
        {"root opens anything", {true, 0, 0, 0600}, root, Status::Ok, "you are root", nullptr},
        {"unknown group shows its number", {true, 0, 99, 0660}, alice, Status::Blocking, "root:99 rw-rw----", nullptr},
        {"missing", {}, alice, Status::Blocking, "/dev/ttyUSB0 does not exist", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const doctor::Finding finding =
            doctor::accessFinding(QStringLiteral("/dev/ttyUSB0"), c.node, c.user, accounts);
        EXPECT_EQ(finding.status, c.status);
        EXPECT_TRUE(finding.text.contains(QLatin1String(c.textPart))) << finding.text.toStdString();
        if (c.fix != nullptr) {
            EXPECT_EQ(finding.fix, QLatin1String(c.fix));
        }
        EXPECT_EQ(finding.fix.isEmpty(), c.status != Status::Blocking) << finding.fix.toStdString();
    }
    // Without group write the group does not help: the project's udev rule gives it.
    const doctor::Finding ownerOnly =
        doctor::accessFinding(QStringLiteral("/dev/ttyUSB0"), {true, 0, 0, 0600}, alice, accounts);
    EXPECT_TRUE(ownerOnly.fix.contains(QLatin1String("60-trevisor-serial.rules /etc/udev/rules.d/")));
}

TEST(AccessCheck, ReadsTheNodeThroughItsLinkAndTheAccountFilesOfTheTree)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    // A by-id link, as udev makes them.
    system.link(QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"), node);
    // The node's group is the test's own; name it dialout in the tree's group file.
    system.write(QStringLiteral("/etc/group"), QStringLiteral("dialout:x:%1:\n").arg(doctor::readDeviceNode(node).gid));
    const doctor::UserIdentity stranger{::getuid() + 1, QStringLiteral("carol"), {doctor::readDeviceNode(node).gid + 1}};

    const doctor::PortFacts port =
        doctor::readPortFacts(system.paths(), system.path(QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0")));
    EXPECT_EQ(port.device, node);
    const doctor::Finding finding = doctor::portAccessFinding(port, stranger, doctor::readAccounts(system.paths()));
    EXPECT_EQ(finding.status, Status::Blocking);
    EXPECT_TRUE(finding.text.contains(QStringLiteral(":dialout rw-rw----; you (carol) are not in dialout")))
        << finding.text.toStdString();
    EXPECT_EQ(finding.fix, QStringLiteral("sudo usermod -aG dialout \"$USER\", then log out and in again"));

    // The window's advice for a port that would not open is the same finding.
    const std::optional<doctor::Finding> advice =
        doctor::openFailureFinding(system.paths(), stranger, port.path);
    ASSERT_TRUE(advice.has_value());
    EXPECT_EQ(doctor::adviceLine(*advice), finding.text + QStringLiteral(". Fix: ") + finding.fix);

    // The companion's one-line reason keeps the driver's text and adds the dialout fix.
    const QString reason = doctor::openFailureReason(system.paths(), stranger, port.path, QStringLiteral("Permission denied"));
    EXPECT_EQ(reason, QStringLiteral("Permission denied: ") + doctor::adviceLine(finding));
    EXPECT_TRUE(reason.contains(QStringLiteral("sudo usermod -aG dialout")));
}

TEST(AccessCheck, APortOnlyItsOwnerMayUseGetsTheRuleOnAnAdapterAndGroupAndModeOnABuiltInPort)
{
    SystemFixture system;
    const QString adapter = system.addUsbAdapter({});
    QFile::setPermissions(adapter, QFile::ReadOwner | QFile::WriteOwner);
    // A built-in UART, root:root 600 as many systems leave ttyS0.
    system.write(QStringLiteral("/sys/class/tty/ttyS0/dev"), QStringLiteral("4:64\n"));
    system.link(QStringLiteral("/sys/class/tty/ttyS0/device"), system.path(QStringLiteral("/sys/devices/pnp0/00:00")));
    system.write(QStringLiteral("/sys/devices/pnp0/00:00/uevent"), QString());
    const QString uart = system.addDeviceNode(QStringLiteral("ttyS0"), QFile::ReadOwner | QFile::WriteOwner);
    const doctor::UserIdentity stranger{::getuid() + 1, QStringLiteral("carol"), {}};
    const doctor::Accounts accounts = doctor::readAccounts(system.paths());

    const doctor::Finding usb =
        doctor::portAccessFinding(doctor::readPortFacts(system.paths(), adapter), stranger, accounts);
    EXPECT_EQ(usb.status, Status::Blocking);
    EXPECT_TRUE(usb.fix.startsWith(QStringLiteral("sudo cp "))) << usb.fix.toStdString();
    // The rule it names is there to copy: installed, or in the build tree beside the program.
    const QString rule = usb.fix.section(u' ', 2, 2);
    EXPECT_TRUE(rule.endsWith(QStringLiteral("/60-trevisor-serial.rules"))) << rule.toStdString();
    EXPECT_TRUE(QFileInfo::exists(rule)) << rule.toStdString();

    const doctor::Finding builtIn =
        doctor::portAccessFinding(doctor::readPortFacts(system.paths(), uart), stranger, accounts);
    EXPECT_EQ(builtIn.status, Status::Blocking);
    EXPECT_TRUE(builtIn.fix.startsWith(QStringLiteral("sudo chgrp dialout %1 && sudo chmod 660 %1").arg(uart)))
        << builtIn.fix.toStdString();
    EXPECT_TRUE(builtIn.fix.contains(QStringLiteral("KERNEL==\"ttyS0\"")));
    EXPECT_FALSE(builtIn.fix.contains(QStringLiteral("60-trevisor-serial.rules")));
    EXPECT_FALSE(builtIn.fix.contains(QStringLiteral("replug")));
}

} // namespace
