// SPDX-License-Identifier: MIT
#include "port_lister.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace serial {
namespace {

TEST(PortLister, ExtraPortsComeFirstInTheirOrder)
{
    ASSERT_EQ(::setenv("QUARN_EXTRA_PORTS", "/tmp/quarn-sim::/dev/pts/17:/tmp/a-very-long-name", 1), 0);
    const QList<PortEntry> ports = listPorts();
    ::unsetenv("QUARN_EXTRA_PORTS");

    ASSERT_GE(ports.size(), 3);
    const QString expected[3][3] = {
        {QStringLiteral("/tmp/quarn-sim"), QStringLiteral("/tmp/quarn-sim"), QStringLiteral("quarn-sim")},
        {QStringLiteral("/dev/pts/17"), QStringLiteral("/dev/pts/17"), QStringLiteral("17")},
        {QStringLiteral("/tmp/a-very-long-name"), QStringLiteral("/tmp/a-very-long-name"),
         QStringLiteral("a-very-lon")},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ports[i].identifier, expected[i][0]);
        EXPECT_EQ(ports[i].path, expected[i][1]);
        EXPECT_EQ(ports[i].deviceName, expected[i][2]);
    }
}

TEST(PortLister, SystemPortsAreNamedByDescriptionOrPortName)
{
    const PortEntry adapter = systemPortEntry(QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"),
                                              QStringLiteral("FT232R USB UART"));
    EXPECT_EQ(adapter.identifier, QStringLiteral("ttyUSB0"));
    EXPECT_EQ(adapter.path, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(adapter.deviceName, QStringLiteral("FT232R USB"));

    const PortEntry plain = systemPortEntry(QStringLiteral("ttyS0"), QStringLiteral("/dev/ttyS0"), {});
    EXPECT_EQ(plain.deviceName, QStringLiteral("ttyS0"));
}

TEST(PortLister, ItemTextAndItsIdentifier)
{
    struct Case {
        QString identifier;
        QString deviceName;
        QString text;
    };
    const Case cases[] = {
        {QStringLiteral("5"), QStringLiteral("VCP0"), QStringLiteral("5  VCP0")},
        {QStringLiteral("ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("ttyUSB0  FT232R USB")},
        {QStringLiteral("/tmp/sim"), QString(), QStringLiteral("/tmp/sim  ")},
        {QString(), QStringLiteral("x"), QStringLiteral("  x")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(portItemText(c.identifier, c.deviceName), c.text);
        EXPECT_EQ(identifierFromItemText(c.text), c.identifier);
    }
    EXPECT_EQ(identifierFromItemText(QStringLiteral("COM7")), QStringLiteral("COM7"));
}

// A character outside the Basic Multilingual Plane takes two UTF-16 units; cutting a name to ten
// units must not keep the first half of such a pair alone.
TEST(PortLister, DeviceNamesAreNeverCutInsideACharacter)
{
    const QString plug = QStringLiteral("\U0001F50C"); // two units
    struct Case {
        const char *what;
        QString deviceName;
        QString expected;
    };
    const Case cases[] = {
        {"registry value name",
         registryPortItem(QStringLiteral("\\Device\\Sereial") + plug + plug, QStringLiteral("COM5"))->deviceName,
         QStringLiteral("Sereial") + plug},
        {"extra port path", extraPortEntries(QStringLiteral("/tmp/abcdefghi") + plug).value(0).deviceName,
         QStringLiteral("abcdefghi")},
        {"system port description",
         systemPortEntry(QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R US") + plug)
             .deviceName,
         QStringLiteral("FT232R US")},
        {"item text", portItemText(QStringLiteral("5"), QStringLiteral("abcdefghi") + plug).mid(3),
         QStringLiteral("abcdefghi")},
        {"pair ending on the tenth unit", extraPortEntries(QStringLiteral("/tmp/abcdefgh") + plug).value(0).deviceName,
         QStringLiteral("abcdefgh") + plug},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.deviceName, c.expected);
        EXPECT_TRUE(c.deviceName.isValidUtf16());
    }
}

TEST(PortLister, RegistryValuesBecomeItems)
{
    struct Case {
        const char *name;
        const char *data;
        bool listed;
        const char *item;
    };
    const Case cases[] = {
        {"\\Device\\VCP0", "COM5", true, "5  VCP0"},
        {"\\Device\\Serial0", "COM12", true, "12  Serial0"},
        {"\\Device\\ProlificSerial10", "COM3", true, "3  ProlificSe"},
        {"\\Device\\VCP0", "COM", true, "  VCP0"},
        {"\\Device\\VCP0", "com5", false, ""},
        {"\\Device\\VCP0", "LPT1", false, ""},
        {"\\Device\\VCP0", "", false, ""},
        // No backslash after the first character: the name's first 10 characters.
        {"\\SerialPortNumberOne", "COM4", true, "4  \\SerialPor"},
        {"Silabser0", "COM9", true, "9  Silabser0"},
        // A backslash as the very first character alone does not count.
        {"\\", "COM1", true, "1  \\"},
        {"A\\", "COM2", true, "2  "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = " + c.data);
        const auto item = registryPortItem(QString::fromLatin1(c.name), QString::fromLatin1(c.data));
        ASSERT_EQ(item.has_value(), c.listed);
        if (item) {
            EXPECT_EQ(portItemText(item->number, item->deviceName), QString::fromLatin1(c.item));
        }
    }
}

} // namespace
} // namespace serial
