// SPDX-License-Identifier: MIT
// The doctor command in this process: check 7 (which rate the encoder answers at) against
// simulated encoders, the report of every finding in text and JSON, and the exit codes.

#include "system_fixture.h"

#include "doctor_command.h"
#include "encoder_link.h"

#include "fake_serial_port.h"
#include "simulated_encoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DoctorRun {
    int exitCode = -1;
    QString out;
    QString err;
};

DoctorRun runDoctor(const QStringList &paths, const cli::DoctorOptions &options,
                    std::function<std::unique_ptr<serial::SerialPort>()> makePort = [] {
                        return std::make_unique<serial::QtSerialPort>();
                    })
{
    DoctorRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    cli::Context context;
    context.out = &out;
    context.err = &err;
    context.makePort = std::move(makePort);
    QList<serial::PortEntry> ports;
    for (const QString &path : paths)
        ports.append(cli::namedPortEntry(path));
    run.exitCode = cli::runDoctor(ports, options, context);
    out.flush();
    err.flush();
    return run;
}

QString findingLine(const DoctorRun &run, const QString &check)
{
    const QStringList lines = run.out.split(u'\n');
    for (const QString &line : lines) {
        if (line.mid(11, check.size() + 1) == check + u' ')
            return line;
    }
    return {};
}

TEST(DoctorCommand, TellsAtWhichRateTheEncoderAnswers)
{
    sim::EncoderConfig config;
    config.baudRate = 921600;
    sim::SimulatedEncoder encoder(config);
    cli::DoctorOptions options;
    const DoctorRun run = runDoctor({encoder.portPath()}, options);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.startsWith(encoder.portPath() + QStringLiteral(" (pseudo-terminal)\n"))) << run.out.toStdString();
    const QString encoderLine = findingLine(run, QStringLiteral("encoder"));
    EXPECT_TRUE(encoderLine.startsWith(QStringLiteral("  ok       encoder       a Quarn-2 answered at 921600 baud (part ")))
        << run.out.toStdString();
    EXPECT_TRUE(encoderLine.contains(QString::fromLatin1(config.serialNumber))) << encoderLine.toStdString();
    // This process serves the pseudo-terminal: it is not a program in the way.
    EXPECT_TRUE(findingLine(run, QStringLiteral("holders"))
                    .contains(QStringLiteral("pid %1 (").arg(::getpid())));
    EXPECT_TRUE(findingLine(run, QStringLiteral("holders")).contains(QStringLiteral("serves this pseudo-terminal")));
    EXPECT_TRUE(findingLine(run, QStringLiteral("low-latency")).startsWith(QStringLiteral("  info     low-latency   the pseudo-terminal driver has no low-latency mode")));
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("  => a Quarn-2 answers here at 921600 baud\n")));

    encoder.setSilent(true);
    const DoctorRun silent = runDoctor({encoder.portPath()}, options);
    EXPECT_EQ(silent.exitCode, 6); // nothing blocks, but no encoder answered
    EXPECT_TRUE(findingLine(silent, QStringLiteral("encoder"))
                    .startsWith(QStringLiteral("  warning  encoder       no Quarn-2 answered at any of the seven rates")))
        << silent.out.toStdString();
    EXPECT_TRUE(findingLine(silent, QStringLiteral("encoder")).contains(QStringLiteral(" -- fix: check the encoder's power")));
    EXPECT_TRUE(silent.out.endsWith(QStringLiteral("  => nothing blocks, but no encoder answered\n")));
}

TEST(DoctorCommand, JsonGivesEveryFindingOfEveryPortUnderStableKeysAndABlockingOneExitsWithOne)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    system.write(QStringLiteral("/etc/group"), QStringLiteral("dialout:x:%1:\n").arg(doctor::readDeviceNode(node).gid));
    system.addProcess(612, QStringLiteral("ModemManager"));
    cli::DoctorOptions options;
    options.paths = system.paths();
    options.user = {::getuid() + 1, QStringLiteral("carol"), {doctor::readDeviceNode(node).gid + 1}};
    options.format = cli::OutputFormat::Json;

    const DoctorRun run = runDoctor({node, system.path(QStringLiteral("/dev/ttyUSB9"))}, options, [] {
        auto port = std::make_unique<serial::FakeSerialPort>();
        port->failOpen(QStringLiteral("Permission denied"));
        return port;
    });
    // The first blocking finding: this user may not open the adapter.
    EXPECT_EQ(run.exitCode, 8);
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();

    const QJsonObject adapter = QJsonDocument::fromJson(lines.at(0).toUtf8()).object();
    // Every line of the companion's JSON tells its event and time.
    const QStringList keys{QStringLiteral("baudRate"),       QStringLiteral("blocking"),   QStringLiteral("device"),
                           QStringLiteral("driver"),         QStringLiteral("encoderFound"), QStringLiteral("event"),
                           QStringLiteral("findings"),       QStringLiteral("holders"),    QStringLiteral("kind"),
                           QStringLiteral("latencyTimerMs"), QStringLiteral("lowLatency"), QStringLiteral("port"),
                           QStringLiteral("time"),           QStringLiteral("usbId")};
    EXPECT_EQ(adapter.keys(), keys);
    EXPECT_EQ(adapter.value(QStringLiteral("port")).toString(), node);
    EXPECT_EQ(adapter.value(QStringLiteral("kind")).toString(), QStringLiteral("usb"));
    EXPECT_EQ(adapter.value(QStringLiteral("usbId")).toString(), QStringLiteral("0403:6001"));
    EXPECT_EQ(adapter.value(QStringLiteral("driver")).toString(), QStringLiteral("ftdi_sio"));
    EXPECT_EQ(adapter.value(QStringLiteral("latencyTimerMs")).toInt(), 16);
    EXPECT_EQ(adapter.value(QStringLiteral("lowLatency")).toString(), QStringLiteral("unknown"));
    EXPECT_TRUE(adapter.value(QStringLiteral("baudRate")).isNull());
    EXPECT_FALSE(adapter.value(QStringLiteral("encoderFound")).toBool());
    EXPECT_TRUE(adapter.value(QStringLiteral("blocking")).toBool());

    const QJsonArray findings = adapter.value(QStringLiteral("findings")).toArray();
    QStringList checks;
    QStringList statuses;
    for (const QJsonValue &value : findings) {
        const QJsonObject finding = value.toObject();
        EXPECT_EQ(finding.keys(), (QStringList{QStringLiteral("check"), QStringLiteral("fix"), QStringLiteral("result"),
                                               QStringLiteral("text")}));
        checks.append(finding.value(QStringLiteral("check")).toString());
        statuses.append(finding.value(QStringLiteral("result")).toString());
    }
    EXPECT_EQ(checks, (QStringList{QStringLiteral("access"), QStringLiteral("holders"), QStringLiteral("modemmanager"),
                                   QStringLiteral("brltty"), QStringLiteral("latency-timer"), QStringLiteral("low-latency"),
                                   QStringLiteral("encoder")}));
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("blocking"), QStringLiteral("ok"), QStringLiteral("warning"),
                                     QStringLiteral("ok"), QStringLiteral("warning"), QStringLiteral("skipped"),
                                     QStringLiteral("blocking")}));
    const QJsonObject access = findings.at(0).toObject();
    EXPECT_EQ(access.value(QStringLiteral("fix")).toString(),
              QStringLiteral("sudo usermod -aG dialout \"$USER\", then log out and in again"));
    const QJsonObject encoder = findings.at(6).toObject();
    EXPECT_EQ(encoder.value(QStringLiteral("text")).toString(), QStringLiteral("cannot be opened: Permission denied"));
    EXPECT_EQ(encoder.value(QStringLiteral("fix")).toString(), QStringLiteral("see the blocking finding above"));

    const QJsonObject missing = QJsonDocument::fromJson(lines.at(1).toUtf8()).object();
    EXPECT_EQ(missing.keys(), keys);
    EXPECT_EQ(missing.value(QStringLiteral("kind")).toString(), QStringLiteral("missing"));
    EXPECT_TRUE(missing.value(QStringLiteral("usbId")).isNull());
}

TEST(DoctorCommand, AnAdapterThatOpensButStaysSilentBlocksNothingAndShowsTheDriversAnswer)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    cli::DoctorOptions options;
    options.paths = system.paths();
    options.user = {0, QStringLiteral("root"), {0}};
    const DoctorRun run = runDoctor({node}, options, [] {
        auto port = std::make_unique<serial::FakeSerialPort>();
        port->setLowLatencyMode(serial::LowLatencyMode::Refused);
        return port;
    });
    EXPECT_EQ(run.exitCode, 6) << run.out.toStdString();
    EXPECT_TRUE(run.out.startsWith(node + QStringLiteral(" (USB 0403:6001 FT232R USB UART, driver ftdi_sio)\n")))
        << run.out.toStdString();
    EXPECT_TRUE(findingLine(run, QStringLiteral("low-latency"))
                    .startsWith(QStringLiteral("  warning  low-latency   driver ftdi_sio did not take low-latency mode")))
        << run.out.toStdString();
    EXPECT_TRUE(findingLine(run, QStringLiteral("latency-timer"))
                    .startsWith(QStringLiteral("  warning  latency-timer latency timer 16 ms")));
    EXPECT_TRUE(findingLine(run, QStringLiteral("encoder")).startsWith(QStringLiteral("  warning  encoder       no Quarn-2")));
}

TEST(DoctorCommand, NoPortsAtAllIsAFailureWithAHint)
{
    cli::DoctorOptions options;
    const DoctorRun run = runDoctor({}, options);
    EXPECT_EQ(run.exitCode, 6);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("trevisor-cli: error: no serial ports found: plug the adapter in")));
}

TEST(DoctorCommand, APathThatIsNoTerminalIsNotASerialPortAndNothingHoldsIt)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString fifo = directory.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case {
        QString path;
        const char *what;
    };
    for (const Case &c : {Case{QStringLiteral("/dev/null"), "a character device that is not a terminal"},
                          Case{fifo, "a FIFO"}}) {
        SCOPED_TRACE(c.path.toStdString());
        const DoctorRun run = runDoctor({c.path}, cli::DoctorOptions{});
        EXPECT_EQ(run.exitCode, 9) << run.out.toStdString();
        EXPECT_EQ(findingLine(run, QStringLiteral("access")),
                  QStringLiteral("  blocking access        %1 is not a serial port: %2 -- fix: name the encoder's port: "
                                 "trevisor-cli ports lists them, ls -l /dev/serial/by-id/ shows the USB adapters")
                      .arg(c.path, QLatin1String(c.what)));
        // Every shell holds /dev/null: none of them is in the way.
        EXPECT_TRUE(findingLine(run, QStringLiteral("holders")).startsWith(QStringLiteral("  skipped  holders       not a serial port")));
        EXPECT_FALSE(run.out.contains(QStringLiteral("in use"))) << run.out.toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("trevisor-cli: error: %1 blocked: %1 is not a serial port").arg(c.path)))
            << run.err.toStdString();
    }
}

TEST(DoctorCommand, APortHeldByAnotherUsersProgramIsSaidSoWithTheCommandThatNamesIt)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    // A process whose descriptors this user may not read: another user's.
    system.write(QStringLiteral("/proc/4242/comm"), QStringLiteral("picocom\n"));
    cli::DoctorOptions options;
    options.paths = system.paths();
    options.user = {0, QStringLiteral("root"), {0}};
    const DoctorRun run = runDoctor({node}, options, [] {
        auto port = std::make_unique<serial::FakeSerialPort>();
        port->failOpen(QLatin1String(serial::QtSerialPort::kInUseText));
        return port;
    });
    EXPECT_EQ(run.exitCode, 7) << run.out.toStdString();
    EXPECT_EQ(findingLine(run, QStringLiteral("holders")),
              QStringLiteral("  blocking holders       held open by a program of another user (1 processes of other "
                             "users cannot be looked at without root) -- fix: see which: sudo fuser -v %1 (or run the "
                             "doctor as root: sudo trevisor-cli doctor --port %1)")
                  .arg(node));
    EXPECT_TRUE(findingLine(run, QStringLiteral("encoder")).endsWith(QStringLiteral("-- fix: see the blocking finding above")));
}

} // namespace
