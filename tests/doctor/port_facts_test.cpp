// SPDX-License-Identifier: MIT
// What sysfs tells about a port: a built-in UART is named by the driver of its hardware, not by
// serial core's own bus below it.

#include "system_fixture.h"

#include "port_facts.h"

#include <gtest/gtest.h>

namespace {

TEST(PortFacts, ABuiltInUartIsNamedByTheDriverAboveSerialCoresOwnBus)
{
    SystemFixture system;
    const QString uart = QStringLiteral("/sys/devices/pnp0/00:00");
    system.write(QStringLiteral("/sys/bus/pnp/drivers/serial/uevent"), QString());
    system.write(QStringLiteral("/sys/bus/serial-base/drivers/port/uevent"), QString());
    system.write(QStringLiteral("/sys/bus/serial-base/drivers/ctrl/uevent"), QString());
    system.link(uart + QStringLiteral("/driver"), system.path(QStringLiteral("/sys/bus/pnp/drivers/serial")));
    system.link(uart + QStringLiteral("/00:00:0/driver"), system.path(QStringLiteral("/sys/bus/serial-base/drivers/ctrl")));
    system.link(uart + QStringLiteral("/00:00:0/00:00:0.0/driver"),
                system.path(QStringLiteral("/sys/bus/serial-base/drivers/port")));
    system.link(QStringLiteral("/sys/class/tty/ttyS0/device"), system.path(uart + QStringLiteral("/00:00:0/00:00:0.0")));
    system.write(QStringLiteral("/sys/class/tty/ttyS0/dev"), QStringLiteral("4:64\n"));
    const QString node = system.addDeviceNode(QStringLiteral("ttyS0"), QFile::ReadOwner | QFile::WriteOwner);

    const doctor::PortFacts port = doctor::readPortFacts(system.paths(), node);
    EXPECT_TRUE(port.inSysfs);
    EXPECT_EQ(port.driver, QStringLiteral("serial"));
    EXPECT_EQ(port.deviceNumber, QStringLiteral("4:64"));
    EXPECT_FALSE(port.isUsb());
    EXPECT_EQ(port.latencyTimerMs, std::nullopt);
    EXPECT_EQ(doctor::portKindText(port), QStringLiteral("driver serial"));
}

} // namespace
