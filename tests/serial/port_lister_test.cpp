// SPDX-License-Identifier: MIT
#include "port_lister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

TEST(PortLister, RelativeExtraPortsAreTakenFromTheWorkingDirectory)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(directory.path()));
    const QList<PortEntry> ports = extraPortEntries(QStringLiteral("q4:./sub/../q5:/dev/ttyUSB0"));
    QDir::setCurrent(before);

    const QString here = QDir(directory.path()).canonicalPath();
    ASSERT_EQ(ports.size(), 3);
    EXPECT_EQ(ports[0].path, here + QStringLiteral("/q4"));
    EXPECT_EQ(ports[0].identifier, ports[0].path);
    EXPECT_EQ(ports[1].path, here + QStringLiteral("/q5"));
    EXPECT_EQ(ports[2].path, QStringLiteral("/dev/ttyUSB0"));
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

TEST(PortLister, ItemText)
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
    }
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

// A port by its identifier; the path is /dev/<identifier> and, unless given, leads to itself.
PortDescription port(const char *identifier, PortKind kind, const char *resolved = nullptr)
{
    const QString path = QStringLiteral("/dev/") + QString::fromLatin1(identifier);
    return {{QString::fromLatin1(identifier), path, QString()}, kind,
            resolved != nullptr ? QString::fromLatin1(resolved) : path};
}

QStringList identifiers(const QList<PortDescription> &ports)
{
    QStringList list;
    for (const PortDescription &port : ports)
        list.append(port.entry.identifier);
    return list;
}

constexpr PortKind Extra = PortKind::Extra;
constexpr PortKind Usb = PortKind::UsbAdapter;
constexpr PortKind BuiltIn = PortKind::BuiltIn;

TEST(PortLister, ExtraPortsThenUsbAdaptersThenBuiltInPortsEachInTheirOrder)
{
    struct Case {
        const char *what;
        QList<PortDescription> ports;
        QStringList expected;
    };
    const Case cases[] = {
        {"built-in UARTs listed before the adapters",
         {port("ttyS0", BuiltIn), port("ttyS1", BuiltIn), port("ttyUSB0", Usb), port("ttyACM0", Usb)},
         {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1"}},
        {"extra ports stay first in the operator's order",
         {port("ttyS0", BuiltIn), port("ttyUSB1", Usb), port("sim-b", Extra), port("sim-a", Extra)},
         {"sim-b", "sim-a", "ttyUSB1", "ttyS0"}},
        {"kinds interleaved", {port("ttyUSB1", Usb), port("ttyS4", BuiltIn), port("ttyUSB0", Usb)},
         {"ttyUSB1", "ttyUSB0", "ttyS4"}},
        {"only built-in ports", {port("ttyS1", BuiltIn), port("ttyS0", BuiltIn)}, {"ttyS1", "ttyS0"}},
        {"nothing", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(identifiers(inSearchOrder(c.ports)), c.expected);
    }
}

TEST(PortLister, EachDeviceIsListedOnceUnderItsFirstName)
{
    struct Case {
        const char *what;
        QList<PortDescription> ports;
        QStringList expected;
    };
    const Case cases[] = {
        {"an extra port that the system lists too",
         {port("serial/by-id/usb-FTDI", Extra, "/dev/ttyUSB0"), port("ttyUSB0", Usb), port("ttyS0", BuiltIn)},
         {"serial/by-id/usb-FTDI", "ttyS0"}},
        {"two links to one device", {port("quarn-a", Extra, "/dev/pts/4"), port("quarn-b", Extra, "/dev/pts/4")},
         {"quarn-a"}},
        {"one path named twice", {port("sim", Extra), port("ttyUSB0", Usb), port("sim", Extra)}, {"sim", "ttyUSB0"}},
        {"different devices", {port("ttyUSB0", Usb), port("ttyUSB1", Usb), port("ttyS0", BuiltIn)},
         {"ttyUSB0", "ttyUSB1", "ttyS0"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(identifiers(onePerDevice(c.ports)), c.expected);
    }
}

// Through the environment and the file system: links are followed to the device they name.
TEST(PortLister, ExtraPortsLeadingToOneDeviceAreListedOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("device"));
    const QString link = dir.filePath(QStringLiteral("link"));
    const QString other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QFile(device).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(other).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(device, link));

    const QString list = QStringList{link, device, dir.path() + QStringLiteral("/./device"), other, link}.join(u':');
    ASSERT_EQ(::setenv("QUARN_EXTRA_PORTS", list.toLocal8Bit().constData(), 1), 0);
    const QList<PortEntry> ports = listPorts();
    ::unsetenv("QUARN_EXTRA_PORTS");

    ASSERT_GE(ports.size(), 2);
    EXPECT_EQ(ports[0].path, link);
    EXPECT_EQ(ports[1].path, other);
    for (qsizetype i = 2; i < ports.size(); ++i)
        EXPECT_FALSE(ports[i].path.startsWith(dir.path())) << ports[i].path.toStdString();
}

} // namespace
} // namespace serial
