// SPDX-License-Identifier: MIT
// Which encoder a command acts on and how its port is opened: the port and encoder named on
// every run, two encoders on the line, --serial, relative paths, and a port held by another
// program through another name.

#include "cli_harness.h"
#include "flock_holder.h"
#include "held_port.h"

#include "simulated_encoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

sim::EncoderConfig encoderWithSerial(const char *serialNumber)
{
    sim::EncoderConfig config;
    config.serialNumber = QByteArray(serialNumber);
    config.partNumber = QByteArrayLiteral("QX105---18M-----");
    return config;
}

// Runs with the working directory at `directory` and back.
template <typename Run>
auto inDirectory(const QString &directory, Run &&run)
{
    const QString before = QDir::currentPath();
    EXPECT_TRUE(QDir::setCurrent(directory));
    auto result = run();
    QDir::setCurrent(before);
    return result;
}

TEST(EncoderChoiceTest, EveryCommandNamesItsPortAndEncoder)
{
    sim::SimulatedEncoder encoder(encoderWithSerial("123456"));
    const QStringList commands[] = {
        {QStringLiteral("identify")},
        {QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("2")},
        {QStringLiteral("zero")},
        {QStringLiteral("reset-status")},
        {QStringLiteral("debug"), QStringLiteral("--unlock")},
    };
    const QString named = QStringLiteral("trevisor-cli: encoder QX105---18M----- serial 123456 on %1 at 115200 baud")
                              .arg(encoder.portPath());
    for (const QStringList &command : commands) {
        SCOPED_TRACE(command.join(u' ').toStdString());
        CliHarness cli;
        const CliResult text = cli.run(command + portOf(encoder.portPath()));
        ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
        ASSERT_FALSE(text.errLines().isEmpty());
        EXPECT_EQ(text.errLines().first(), named);

        const CliResult json = cli.run(command + QStringList{QStringLiteral("--json")} + portOf(encoder.portPath()));
        ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
        EXPECT_FALSE(json.err.contains(QStringLiteral("encoder QX105")));
        ASSERT_FALSE(json.jsonLines().isEmpty());
        for (const QJsonObject &object : json.jsonLines()) {
            EXPECT_EQ(object[u"port"].toString(), encoder.portPath());
            EXPECT_EQ(object[u"partNumber"].toString(), QStringLiteral("QX105---18M-----"));
            EXPECT_EQ(object[u"serialNumber"].toString(), QStringLiteral("123456"));
        }
    }
}

TEST(EncoderChoiceTest, TwoEncodersFoundAreNamedAndSerialPicksOne)
{
    sim::SimulatedEncoder first(encoderWithSerial("111111"));
    sim::SimulatedEncoder second(encoderWithSerial("222222"));
    CliHarness cli;
    cli.ports = serial::extraPortEntries(first.portPath() + u':' + second.portPath());

    const CliResult both = cli.run({QStringLiteral("zero")});
    EXPECT_EQ(both.exitCode, 11);
    EXPECT_TRUE(both.out.isEmpty());
    ASSERT_EQ(both.errLines().size(), 1) << both.err.toStdString();
    for (const QString &part : {QStringLiteral("2 encoders found"), QStringLiteral("serial 111111 on ") + first.portPath(),
                                QStringLiteral("serial 222222 on ") + second.portPath(), QStringLiteral("--serial")})
        EXPECT_TRUE(both.err.contains(part)) << part.toStdString() << "\n" << both.err.toStdString();
    // Nothing was changed on either.
    for (const sim::SimulatedEncoder *encoder : {&first, &second}) {
        for (const sim::LogEntry &entry : encoder->log())
            EXPECT_EQ(entry.bytes, "v");
    }

    const CliResult picked = cli.run({QStringLiteral("identify"), QStringLiteral("--json"), QStringLiteral("--serial"),
                                      QStringLiteral("222222")});
    ASSERT_EQ(picked.exitCode, 0) << picked.err.toStdString();
    ASSERT_EQ(picked.jsonLines().size(), 1);
    EXPECT_EQ(picked.jsonLines().first()[u"port"].toString(), second.portPath());
    EXPECT_EQ(picked.jsonLines().first()[u"serialNumber"].toString(), QStringLiteral("222222"));

    const CliResult missing = cli.run({QStringLiteral("identify"), QStringLiteral("--serial"), QStringLiteral("999")});
    EXPECT_EQ(missing.exitCode, 6);
    ASSERT_EQ(missing.errLines().size(), 1) << missing.err.toStdString();
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("trevisor-cli: error: no encoder with serial number 999 (found: ")))
        << missing.err.toStdString();
}

TEST(EncoderChoiceTest, APortIsTakenFromTheWorkingDirectoryAndTheMessageNamesThePathTried)
{
    sim::SimulatedEncoder encoder;
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString here = QDir(directory.path()).canonicalPath();
    ASSERT_TRUE(QFile::link(encoder.portPath(), here + QStringLiteral("/q4")));
    CliHarness cli;

    const CliResult found = inDirectory(here, [&] {
        return cli.run({QStringLiteral("identify"), QStringLiteral("--json"), QStringLiteral("--port"),
                        QStringLiteral("q4"), QStringLiteral("--baud"), QStringLiteral("115200")});
    });
    ASSERT_EQ(found.exitCode, 0) << found.err.toStdString();
    EXPECT_EQ(found.jsonLines().value(0)[u"port"].toString(), here + QStringLiteral("/q4"));

    const CliResult missing = inDirectory(here, [&] {
        return cli.run({QStringLiteral("identify"), QStringLiteral("--port"), QStringLiteral("q5")});
    });
    EXPECT_EQ(missing.exitCode, 9);
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("trevisor-cli: error: cannot open %1/q5: ").arg(here)))
        << missing.err.toStdString();

    // The real program with the variable: the path it names is the one it opened.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUARN_EXTRA_PORTS"), QStringLiteral("q4"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(here);
    process.start(QStringLiteral(TREVISOR_CLI_PROGRAM), {QStringLiteral("poll"), QStringLiteral("--count"),
                                                         QStringLiteral("1")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                    .startsWith(QStringLiteral("trevisor-cli: encoder QX105---18M----- serial ")))
        << "cwd " << here.toStdString();
}

TEST(EncoderChoiceTest, APortHeldThroughAnotherNameIsInUseByThatProgram)
{
    sim::SimulatedEncoder encoder;
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString link = directory.filePath(QStringLiteral("by-id-link"));
    ASSERT_TRUE(QFile::link(encoder.portPath(), link));
    HeldPort held(encoder.portPath());
    ASSERT_TRUE(held.holding());

    CliHarness cli;
    const CliResult identify = cli.run({QStringLiteral("identify"), QStringLiteral("--port"), link});
    EXPECT_EQ(identify.exitCode, 7);
    EXPECT_EQ(identify.err, QStringLiteral("trevisor-cli: error: cannot open %1: in use by trevisor-cli (pid %2)\n")
                                .arg(link)
                                .arg(held.pid()));

    // `ports` on the one port says the same and fails.
    const CliResult ports = cli.run({QStringLiteral("ports"), QStringLiteral("--json"), QStringLiteral("--port"), link});
    EXPECT_EQ(ports.exitCode, 7);
    ASSERT_EQ(ports.jsonLines().size(), 2);
    EXPECT_EQ(ports.jsonLines().last()[u"kind"].toString(), QStringLiteral("port-busy"));
    EXPECT_FALSE(ports.jsonLines().first()[u"opens"].toBool());
    EXPECT_EQ(ports.jsonLines().first()[u"openError"].toString(),
              QStringLiteral("in use by trevisor-cli (pid %1)").arg(held.pid()));
}

TEST(EncoderChoiceTest, APortLockedByAnotherProgramIsBusyForTheProgramWithAnErrorObject)
{
    sim::SimulatedEncoder encoder;
    // A helper takes the lock that picocom and the companion take, and holds it.
    FlockHolder helper(encoder.portPath());
    if (!helper.started())
        GTEST_SKIP() << "flock (util-linux) is not installed";
    ASSERT_TRUE(helper.held());
    const qint64 holder = helper.pid();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUARN_EXTRA_PORTS"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TREVISOR_CLI_PROGRAM),
                  QStringList{QStringLiteral("identify"), QStringLiteral("--json")} + portOf(encoder.portPath()));
    ASSERT_TRUE(program.waitForFinished(15000));
    helper.release();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 7);
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(err.startsWith(QStringLiteral("trevisor-cli: error: cannot open %1: in use by flock (pid %2)")
                                   .arg(encoder.portPath())
                                   .arg(holder)))
        << err.toStdString();
    EXPECT_EQ(err.count(u'\n'), 1);
    const QJsonObject error = QJsonDocument::fromJson(program.readAllStandardOutput()).object();
    EXPECT_EQ(error[u"event"].toString(), QStringLiteral("error"));
    EXPECT_EQ(error[u"kind"].toString(), QStringLiteral("port-busy"));
    EXPECT_EQ(error[u"port"].toString(), encoder.portPath());
    EXPECT_EQ(QStringLiteral("trevisor-cli: error: ") + error[u"message"].toString() + u'\n', err);
    // Nothing reached the encoder.
    EXPECT_TRUE(encoder.log().empty());
}

TEST(EncoderChoiceTest, APortHeldForAMomentByAnotherSearchIsTriedAgain)
{
    sim::SimulatedEncoder first(encoderWithSerial("100001"));
    sim::SimulatedEncoder second(encoderWithSerial("100002"));
    // Another search on the line has the second port open for a moment.
    FlockHolder helper(second.portPath(), QStringLiteral("0.4"));
    if (!helper.started())
        GTEST_SKIP() << "flock (util-linux) is not installed";
    ASSERT_TRUE(helper.held());

    CliHarness cli;
    cli.ports = serial::extraPortEntries(first.portPath() + u':' + second.portPath());
    const CliResult result = cli.run({QStringLiteral("identify"), QStringLiteral("--json"), QStringLiteral("--serial"),
                                      QStringLiteral("100002"), QStringLiteral("-v")});
    helper.waitForEnd();
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.jsonLines().value(0)[u"port"].toString(), second.portPath());
    EXPECT_TRUE(result.err.contains(QStringLiteral("trevisor-cli: trying the 1 busy ports again"))) << result.err.toStdString();
}

} // namespace
