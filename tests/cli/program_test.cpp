// SPDX-License-Identifier: MIT
// The real program in its own process: exit codes, help, Ctrl+C during a running poll; and,
// in this process, a poll that loses its encoder and one that is asked to stop.

#include "cli_harness.h"

#include "simulated_encoder.h"

#include "quarn_konstante.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>
#include <thread>

namespace {

struct ProgramResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramResult runProgram(const QStringList &arguments, int timeoutMs = 15000)
{
    QProcess process;
    // No extra ports from the environment of whoever runs the tests.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUARN_EXTRA_PORTS"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TREVISOR_CLI_PROGRAM), arguments);
    EXPECT_TRUE(process.waitForFinished(timeoutMs));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

TEST(ProgramTest, ExitCodesOfHelpUsageErrorsAndAMissingEncoder)
{
    struct Case {
        QStringList arguments;
        int exitCode;
        const char *outStart; // nullptr: no output expected
        const char *errStart;
    };
    const Case cases[] = {
        {{QStringLiteral("--help")}, 0, "Usage: trevisor-cli <command> [options]", nullptr},
        {{QStringLiteral("selfcal"), QStringLiteral("--help")}, 0, "Usage: trevisor-cli selfcal [options]", nullptr},
        {{QStringLiteral("--version")}, 0, "trevisor-cli ", nullptr},
        {{QStringLiteral("poll"), QStringLiteral("--speed")}, 2, nullptr, "trevisor-cli: error: Unknown option 'speed'."},
        {{QStringLiteral("selfcal"), QStringLiteral("--arc"), QStringLiteral("90")}, 2, nullptr,
         "trevisor-cli: error: --arc needs degrees from 180 to 360"},
        {{QStringLiteral("identify"), QStringLiteral("--port"), QStringLiteral("/nonexistent/tty")}, 9, nullptr,
         "trevisor-cli: error: cannot open /nonexistent/tty"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ProgramResult result = runProgram(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        if (c.outStart != nullptr)
            EXPECT_TRUE(result.out.startsWith(QLatin1String(c.outStart))) << result.out.toStdString();
        else
            EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        if (c.errStart != nullptr)
            EXPECT_TRUE(result.err.startsWith(QLatin1String(c.errStart))) << result.err.toStdString();
        else
            EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
    }
}

TEST(ProgramTest, ASilentPortIsNoEncoderAfterEveryRate)
{
    sim::EncoderConfig config;
    config.faults.silentFromMs = 0;
    sim::SimulatedEncoder silent(config);
    const ProgramResult result = runProgram({QStringLiteral("identify"), QStringLiteral("--port"), silent.portPath()});
    EXPECT_EQ(result.exitCode, 6);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_EQ(result.err, QStringLiteral("trevisor-cli: error: no encoder answers on %1 at any of the seven rates\n")
                              .arg(silent.portPath()));
    EXPECT_EQ(silent.log().size(), 7u);
}

TEST(ProgramTest, CtrlCEndsARunningPollAfterTheCurrentReadingWithCompleteOutput)
{
    sim::SimulatedEncoder encoder;
    QProcess process;
    process.start(QStringLiteral(TREVISOR_CLI_PROGRAM),
                  QStringList{QStringLiteral("poll"), QStringLiteral("--json"), QStringLiteral("--interval"),
                              QStringLiteral("10")}
                      + portOf(encoder.portPath()));
    ASSERT_TRUE(process.waitForStarted());
    // Wait for a few readings, then interrupt in the middle of the stream.
    QByteArray out;
    while (out.count('\n') < 5 && process.waitForReadyRead(5000))
        out += process.readAllStandardOutput();
    ASSERT_GE(out.count('\n'), 5);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
    out += process.readAllStandardOutput();

    // The program ends by the signal once its output is complete, as the shell expects of Ctrl+C.
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(process.readAllStandardError().contains("error"));
    EXPECT_TRUE(out.endsWith('\n'));
    const QList<QByteArray> lines = out.trimmed().split('\n');
    for (const QByteArray &line : lines) {
        QJsonParseError error{};
        QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    }
    // Every reading printed is a reading the encoder was asked for, and none more.
    std::size_t polls = 0;
    for (const sim::LogEntry &entry : encoder.log())
        polls += entry.bytes != "v" ? 1 : 0;
    EXPECT_EQ(polls, static_cast<std::size_t>(lines.size()));
}

TEST(ProgramTest, CtrlCStopsAShellLoopAroundTheCommand)
{
    sim::SimulatedEncoder encoder;
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString output = directory.filePath(QStringLiteral("readings"));
    QProcess shell;
    // The shell and the command in a process group of their own, as a terminal's Ctrl+C reaches them.
    shell.setChildProcessModifier([] { ::setpgid(0, 0); });
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"),
                 QStringLiteral("while :; do \"$0\" poll --json --interval 10 --port \"$1\" --baud 115200 >>\"$2\"; done"),
                 QStringLiteral(TREVISOR_CLI_PROGRAM), encoder.portPath(), output});
    ASSERT_TRUE(shell.waitForStarted());
    const auto lines = [&output] {
        QFile file(output);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };
    QElapsedTimer clock;
    clock.start();
    while (lines() < 5 && clock.elapsed() < 10000)
        QThread::msleep(20);
    ASSERT_GE(lines(), 5);
    ::kill(-static_cast<pid_t>(shell.processId()), SIGINT);
    const bool ended = shell.waitForFinished(3000);
    if (!ended) {
        ::kill(-static_cast<pid_t>(shell.processId()), SIGKILL);
        shell.waitForFinished(3000);
    }
    EXPECT_TRUE(ended) << "the loop went on after Ctrl+C";
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().endsWith('\n'));
}

TEST(ProgramTest, AWriteToAFullDeviceFailsWithOneMessage)
{
    sim::SimulatedEncoder encoder;
    const QStringList commands[] = {
        {QStringLiteral("identify")},
        // Without a count the poll would run for ever into the full device.
        {QStringLiteral("poll"), QStringLiteral("--interval"), QStringLiteral("0")},
        {QStringLiteral("poll"), QStringLiteral("--csv"), QStringLiteral("--count"), QStringLiteral("2")},
        {QStringLiteral("--help")},
    };
    for (const QStringList &command : commands) {
        SCOPED_TRACE(command.join(u' ').toStdString());
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        const QStringList arguments =
            command.first().startsWith(u'-') ? command : command + portOf(encoder.portPath());
        process.start(QStringLiteral(TREVISOR_CLI_PROGRAM), arguments);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        const QStringList err = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(err.isEmpty());
        EXPECT_EQ(err.filter(QStringLiteral("error: ")).size(), 1) << err.join(u'\n').toStdString();
        EXPECT_EQ(err.last(), QStringLiteral("trevisor-cli: error: write error: No space left on device"));
    }
}

TEST(ProgramTest, AStopRequestEndsPollAndDebugAfterTheCurrentReading)
{
    sim::SimulatedEncoder encoder;
    const QStringList commands[] = {{QStringLiteral("poll")}, {QStringLiteral("debug"), QStringLiteral("--unlock")}};
    for (const QStringList &command : commands) {
        SCOPED_TRACE(command.first().toStdString());
        CliHarness cli;
        cli.stopWhen = [](const QString &out) { return out.count(u'\n') >= 3; };
        const CliResult result = cli.run(command + QStringList{QStringLiteral("--json"), QStringLiteral("--count"),
                                                               QStringLiteral("0")}
                                         + portOf(encoder.portPath()));
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.jsonLines().size(), 3);
        for (const QJsonObject &object : result.jsonLines())
            EXPECT_FALSE(object.isEmpty());
    }
}

TEST(ProgramTest, AStopRequestDuringTheSelfCalibrationWaitEndsItWithoutAReport)
{
    sim::EncoderConfig config;
    config.selfCalibration.durationMs.reset(); // never ends by itself
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;
    QElapsedTimer clock;
    clock.start();
    cli.stopWhen = [&clock](const QString &) { return clock.elapsed() > 1200; };
    const CliResult result = cli.run(QStringList{QStringLiteral("selfcal")} + portOf(encoder.portPath()));
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.errLines().last().contains(QStringLiteral("interrupted"))) << result.err.toStdString();
    // The run was started and then left: after "A" only the wait's status requests went out.
    const std::vector<sim::LogEntry> log = encoder.log();
    std::size_t started = log.size();
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i].bytes == quarn::selfCalStartRequest())
            started = i;
    }
    ASSERT_LT(started, log.size());
    EXPECT_GE(log.size() - started - 1, 3u);
    for (std::size_t i = started + 1; i < log.size(); ++i)
        EXPECT_EQ(log[i].bytes, "i");
}

TEST(ProgramTest, AnEncoderVanishingMidPollEndsWithExitCodeOneAndCompleteLines)
{
    sim::SimulatedEncoder encoder;
    std::thread unplug([&encoder] {
        QThread::msleep(400);
        encoder.vanish();
    });
    CliHarness cli;
    const CliResult result = cli.run(QStringList{QStringLiteral("poll"), QStringLiteral("--json"),
                                                 QStringLiteral("--interval"), QStringLiteral("20")}
                                     + portOf(encoder.portPath()));
    unplug.join();
    EXPECT_EQ(result.exitCode, 5);
    QList<QJsonObject> readings = result.jsonLines();
    ASSERT_GE(readings.size(), 6);
    // The last line is the failure.
    EXPECT_EQ(readings.takeLast()[u"event"].toString(), QStringLiteral("error"));
    for (const QJsonObject &reading : readings)
        EXPECT_TRUE(reading.contains(u"counts"));
    ASSERT_EQ(result.failureLines().size(), 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("no reply")) || result.err.contains(QStringLiteral("Cable disconnected!")))
        << result.err.toStdString();
}

} // namespace
