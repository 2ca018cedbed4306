// SPDX-License-Identifier: MIT
// Checks 5 and 6: the FTDI latency timer, and whether the driver took low-latency mode.

#include "system_fixture.h"

#include "adapter_checks.h"
#include "port_facts.h"

#include "test_pseudo_terminal.h"
#include "qt_serial_port.h"

#include <gtest/gtest.h>

namespace {

using doctor::Status;
using serial::LowLatencyMode;

TEST(LatencyTimerCheck, ReadsTheFtdiTimerFromSysfsAndGivesTheCommandThatLowersIt)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    const doctor::PortFacts port = doctor::readPortFacts(system.paths(), node);
    EXPECT_EQ(port.driver, QStringLiteral("ftdi_sio"));
    EXPECT_EQ(port.usbId(), QStringLiteral("0403:6001"));
    ASSERT_EQ(port.latencyTimerMs, 16);
    const QString file = doctor::latencyTimerFile(system.paths(), port.identity.kernel);
    EXPECT_EQ(file, system.path(QStringLiteral("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer")));

    const doctor::Finding slow = doctor::latencyTimerFinding(file, port.latencyTimerMs, 16);
    EXPECT_EQ(slow.status, Status::Warning);
    EXPECT_EQ(slow.text, QStringLiteral("latency timer 16 ms: the adapter holds replies back up to 16 ms"));
    EXPECT_TRUE(slow.fix.startsWith(QStringLiteral("echo 1 | sudo tee ") + file + QStringLiteral(" (until")));
    EXPECT_TRUE(slow.fix.contains(QStringLiteral("60-trevisor-serial.rules /etc/udev/rules.d/")));

    // The program's own low-latency request brought it to 1 ms while the port was open.
    const doctor::Finding whileOpen = doctor::latencyTimerFinding(file, 16, 1);
    EXPECT_EQ(whileOpen.status, Status::Info);
    EXPECT_TRUE(whileOpen.text.contains(QStringLiteral("1 ms while this program has the port open")));

    const doctor::Finding quick = doctor::latencyTimerFinding(file, 1, 1);
    EXPECT_EQ(quick.status, Status::Ok);
    EXPECT_EQ(quick.text, QStringLiteral("latency timer 1 ms"));
    EXPECT_TRUE(quick.fix.isEmpty());

    SystemFixture::UsbAdapter cp2102;
    cp2102.kernel = QStringLiteral("ttyUSB1");
    cp2102.driver = QStringLiteral("cp210x");
    cp2102.latencyTimerMs = std::nullopt;
    const doctor::PortFacts other = doctor::readPortFacts(system.paths(), system.addUsbAdapter(cp2102));
    EXPECT_EQ(other.latencyTimerMs, std::nullopt);
    EXPECT_EQ(doctor::latencyTimerFinding(file, other.latencyTimerMs, std::nullopt).status, Status::Skipped);
}

TEST(LowLatencyCheck, ReportsWhatTheDriverMadeOfTheRequest)
{
    doctor::PortFacts ftdi;
    ftdi.inSysfs = true;
    ftdi.driver = QStringLiteral("ftdi_sio");
    struct Case {
        LowLatencyMode mode;
        std::optional<int> latencyWhileOpen;
        Status status;
        const char *text;
        bool fix;
    };
    const Case cases[] = {
        {LowLatencyMode::Active, 1, Status::Ok, "driver ftdi_sio accepted low-latency mode", false},
        {LowLatencyMode::Refused, 16, Status::Warning,
         "driver ftdi_sio did not take low-latency mode (ASYNC_LOW_LATENCY is off after the request)", true},
        {LowLatencyMode::Refused, std::nullopt, Status::Info,
         "driver ftdi_sio did not take low-latency mode (ASYNC_LOW_LATENCY is off after the request)", false},
        {LowLatencyMode::Unsupported, std::nullopt, Status::Info,
         "driver ftdi_sio has no low-latency mode (TIOCGSERIAL refused); replies come at the driver's own pace", false},
        {LowLatencyMode::Unknown, std::nullopt, Status::Skipped, "not checked: the port did not open", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const doctor::Finding finding = doctor::lowLatencyFinding(ftdi, c.mode, c.latencyWhileOpen);
        EXPECT_EQ(finding.status, c.status);
        EXPECT_EQ(finding.text, QLatin1String(c.text));
        EXPECT_EQ(!finding.fix.isEmpty(), c.fix);
    }
}

TEST(LowLatencyCheck, TheSerialPortReadsBackWhatThePseudoTerminalDriverDid)
{
    TestPseudoTerminal terminal;
    ASSERT_TRUE(terminal.isValid());
    serial::QtSerialPort port;
    EXPECT_EQ(port.lowLatencyMode(), LowLatencyMode::Unknown);
    ASSERT_TRUE(port.open(terminal.slavePath()));
    // Pseudo-terminals have no serial settings to read.
    EXPECT_EQ(port.lowLatencyMode(), LowLatencyMode::Unsupported);
    port.close();
    EXPECT_EQ(port.lowLatencyMode(), LowLatencyMode::Unknown);
}

} // namespace
