// SPDX-License-Identifier: MIT
// udev rules and database as far as the checks need them, and checks 3 and 4: ModemManager
// and brltty.

#include "system_fixture.h"

#include "adapter_checks.h"
#include "port_facts.h"
#include "process_table.h"
#include "udev_rules.h"

#include <gtest/gtest.h>

namespace {

using doctor::Status;

doctor::DeviceIdentity ch340()
{
    return {QStringLiteral("ttyUSB0"), QStringLiteral("1a86"), QStringLiteral("7523"), QStringLiteral("1a86/7523/264")};
}

TEST(UdevRules, ParsesContinuedLinesSkipsCommentsAndMatchesOnTheAdapterIdentity)
{
    const QString text = QStringLiteral(
        "# comment\n"
        "\n"
        "ACTION!=\"add\", GOTO=\"end\"\n"
        "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"1a86\", \\\n"
        "  ATTRS{idProduct}==\"7523\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"run\"\n"
        "ENV{PRODUCT}==\"1a86/55d4/*|10c4/ea60/*\", ENV{X}=\"1\"\n"
        "KERNEL==\"ttyUSB[0-3]\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
        "ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}!=\"7523\", ENV{Y}=\"1\"\n");
    const QList<doctor::UdevRule> rules = doctor::parseUdevRules(text, QStringLiteral("85-x.rules"));
    ASSERT_EQ(rules.size(), 5);
    EXPECT_EQ(doctor::ruleLocation(rules.at(1)), QStringLiteral("85-x.rules:4"));
    ASSERT_EQ(rules.at(1).tokens.size(), 5);
    EXPECT_EQ(rules.at(1).tokens.at(2).key, QStringLiteral("ATTRS"));
    EXPECT_EQ(rules.at(1).tokens.at(2).attribute, QStringLiteral("idProduct"));
    EXPECT_EQ(rules.at(1).tokens.at(2).op, QStringLiteral("=="));
    EXPECT_EQ(rules.at(1).tokens.at(2).value, QStringLiteral("7523"));
    EXPECT_EQ(doctor::ruleAssignment(rules.at(1), QStringLiteral("ENV"), QStringLiteral("BRLTTY_BRAILLE_DRIVER")),
              QStringLiteral("bm"));

    doctor::DeviceIdentity cp2102{QStringLiteral("ttyUSB5"), QStringLiteral("10c4"), QStringLiteral("ea60"),
                                  QStringLiteral("10c4/ea60/100")};
    struct Case {
        int rule;
        doctor::DeviceIdentity device;
        bool kernelCounts;
        bool matches;
    };
    const Case cases[] = {
        {0, ch340(), true, false},  // names nothing of the adapter
        {1, ch340(), false, true},  // vendor and product
        {1, cp2102, false, false},
        {2, cp2102, false, true},   // an alternative of PRODUCT
        {2, ch340(), false, false},
        {3, ch340(), true, true},   // kernel name, where it counts
        {3, ch340(), false, false},
        {3, cp2102, true, false},   // ttyUSB5 is outside [0-3]
        {4, ch340(), false, false}, // != excludes it
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(doctor::ruleMatchesIdentity(rules.at(c.rule), c.device, c.kernelCounts), c.matches);
    }

    const QHash<QString, QString> data = doctor::udevProperties(
        QStringLiteral("I:123\nE:ID_VENDOR_ID=0403\nE:ID_MM_DEVICE_IGNORE=1\nG:systemd\n"));
    EXPECT_EQ(data.value(QStringLiteral("ID_MM_DEVICE_IGNORE")), QStringLiteral("1"));
    EXPECT_EQ(data.value(QStringLiteral("ID_VENDOR_ID")), QStringLiteral("0403"));
}

TEST(ModemManagerCheck, WarnsWhenItRunsAndThePortIsNotMarkedToBeIgnored)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    const auto finding = [&system, &node] {
        const doctor::PortFacts port = doctor::readPortFacts(system.paths(), node);
        const doctor::ProcessTable table = doctor::readProcessTable(system.paths());
        return doctor::modemManagerFinding(
            port, doctor::pidsOf(table, QLatin1String(doctor::ModemManagerCommand)),
            doctor::udevProperties(doctor::readTextFile(system.paths().udevData + QStringLiteral("/c") + port.deviceNumber)),
            doctor::readUdevRules(system.paths().udevRuleDirs, [](const QString &) { return true; }));
    };
    EXPECT_EQ(finding().status, Status::Ok);
    EXPECT_EQ(finding().text, QStringLiteral("ModemManager is not running"));

    system.addProcess(612, QStringLiteral("ModemManager"));
    const doctor::Finding probing = finding();
    EXPECT_EQ(probing.status, Status::Warning);
    EXPECT_TRUE(probing.text.startsWith(QStringLiteral("ModemManager runs (pid 612) and may probe this port")));
    EXPECT_TRUE(probing.fix.startsWith(QStringLiteral("echo 'ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
                                                      "ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | sudo tee /etc/udev/rules.d/")))
        << probing.fix.toStdString();

    // Without a database entry a rule that marks the adapter counts.
    system.write(QStringLiteral("/lib/udev/rules.d/77-mm-ignore.rules"),
                 QStringLiteral("ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"));
    EXPECT_EQ(finding().status, Status::Ok);
    EXPECT_TRUE(finding().text.endsWith(QStringLiteral("leaves this port alone (rule 77-mm-ignore.rules:1)")));

    // The database says what udev decided, and wins over the rules.
    system.write(QStringLiteral("/run/udev/data/c188:0"), QStringLiteral("E:ID_VENDOR_ID=0403\n"));
    EXPECT_EQ(finding().status, Status::Warning);
    system.write(QStringLiteral("/run/udev/data/c188:0"), QStringLiteral("E:ID_MM_DEVICE_IGNORE=1\n"));
    EXPECT_EQ(finding().status, Status::Ok);
    EXPECT_TRUE(finding().text.endsWith(QStringLiteral("(udev: ID_MM_DEVICE_IGNORE=1)")));
}

TEST(BrlttyCheck, BlocksWhenItsRulesClaimTheAdapterUnlessTheRuleIsMasked)
{
    SystemFixture system;
    SystemFixture::UsbAdapter adapter;
    adapter.vendorId = QStringLiteral("1a86");
    adapter.productId = QStringLiteral("7523");
    adapter.product = QStringLiteral("1a86/7523/264");
    adapter.driver = QStringLiteral("ch341-uart");
    adapter.latencyTimerMs = std::nullopt;
    const QString node = system.addUsbAdapter(adapter);
    const auto finding = [&system, &node] {
        const QString status = doctor::readTextFile(system.paths().dpkgStatus);
        return doctor::brlttyFinding(
            doctor::readPortFacts(system.paths(), node), doctor::dpkgPackageInstalled(status, QStringLiteral("brltty")),
            doctor::readUdevRules(system.paths().udevRuleDirs,
                                  [](const QString &name) { return name.contains(QLatin1String("brltty")); }));
    };
    EXPECT_EQ(finding().status, Status::Ok);
    EXPECT_EQ(finding().text, QStringLiteral("brltty is not installed"));

    system.write(QStringLiteral("/var/lib/dpkg/status"),
                 QStringLiteral("Package: brltty-x11\nStatus: install ok installed\n\n"
                                "Package: brltty\nStatus: install ok installed\nVersion: 6.4\n"));
    system.write(QStringLiteral("/lib/udev/rules.d/85-brltty.rules"),
                 QStringLiteral("# Device: 0403:6001\nENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at\", GOTO=\"brltty_usb_run\"\n"));
    EXPECT_EQ(finding().status, Status::Ok);
    EXPECT_EQ(finding().text, QStringLiteral("brltty is installed, but its udev rules do not claim 1a86:7523"));

    system.write(QStringLiteral("/lib/udev/rules.d/85-brltty.rules"),
                 QStringLiteral("# Device: 1A86:7523\n# Baum [NLS eReader Zoomax (20 cells)]\n"
                                "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"brltty_usb_run\"\n"));
    const doctor::Finding claimed = finding();
    EXPECT_EQ(claimed.status, Status::Blocking);
    EXPECT_EQ(claimed.text, QStringLiteral("brltty's udev rule 85-brltty.rules:3 claims 1a86:7523 as a braille display: "
                                           "brltty takes the adapter and its port vanishes"));
    EXPECT_TRUE(claimed.fix.startsWith(QStringLiteral("sudo apt-get remove brltty"))) << claimed.fix.toStdString();

    // Removed as a package but its rule left behind: masking the file is the fix.
    system.write(QStringLiteral("/var/lib/dpkg/status"),
                 QStringLiteral("Package: brltty\nStatus: deinstall ok config-files\n"));
    EXPECT_EQ(finding().status, Status::Blocking);
    EXPECT_TRUE(finding().fix.startsWith(QStringLiteral("sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules")));

    // The older form of the rules names vendor and product as attributes.
    system.write(QStringLiteral("/usr/lib/udev/rules.d/90-brltty-device.rules"),
                 QStringLiteral("SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", GOTO=\"x\"\n"));
    system.link(QStringLiteral("/etc/udev/rules.d/85-brltty.rules"), QStringLiteral("/dev/null"));
    EXPECT_EQ(finding().status, Status::Blocking);
    EXPECT_TRUE(finding().text.contains(QStringLiteral("90-brltty-device.rules:1")));

    // A file of the same name in /etc replaces the packaged one.
    system.write(QStringLiteral("/etc/udev/rules.d/90-brltty-device.rules"), QString());
    EXPECT_EQ(finding().status, Status::Ok);
}

} // namespace
