// SPDX-License-Identifier: MIT
// Each sub-command against the simulated encoder: what it prints, as text and as JSON lines,
// what it leaves in the encoder, and its exit code.

#include "cli_harness.h"
#include "debug_command.h"
#include "encoder_link.h"

#include "quarn_konstante.h"
#include "recording.h"
#include "simulated_encoder.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

sim::EncoderConfig encoderAt(std::int64_t position, const char *partNumber = "QX105---18M-----")
{
    sim::EncoderConfig config;
    config.partNumber = QByteArray(partNumber);
    config.startPosition = position;
    return config;
}

// The requests the encoder received, without the identification that opens every run.
std::vector<QByteArray> requestsAfterIdentification(const sim::SimulatedEncoder &encoder)
{
    std::vector<QByteArray> requests;
    for (const sim::LogEntry &entry : encoder.log()) {
        if (entry.bytes != "v")
            requests.push_back(entry.bytes);
    }
    return requests;
}

TEST(SubcommandsTest, IdentifyPrintsTheIdentityAsTextAndAsOneJsonObject)
{
    sim::EncoderConfig config = encoderAt(0, "QX108---19M-----");
    config.serialNumber = "123456";
    config.firmware = {2, 9, 3, 0xFFFFFFFF};
    config.baudRate = 921600;
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;

    const CliResult text = cli.run(QStringList{QStringLiteral("identify")} + portOf(encoder.portPath(), 921600));
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = text.outLines();
    for (const char *expected : {"Header: Quarn-2", "Part number: QX108---19M-----", "Serial number: 123456",
                                 "Resolution: 19 bit", "Counts per turn: 524288", "Turn type: multiturn",
                                 "Ring diameter: 109.096 mm", "Code length: 9"}) {
        EXPECT_TRUE(lines.contains(QString::fromUtf8(expected))) << expected << "\n" << text.out.toStdString();
    }
    EXPECT_TRUE(text.out.contains(QStringLiteral("Firmware: 2.9.3.4294967295")));
    EXPECT_EQ(text.errLines().size(), 1) << text.err.toStdString();

    const CliResult json =
        cli.run(QStringList{QStringLiteral("identify"), QStringLiteral("--json")} + portOf(encoder.portPath(), 921600));
    ASSERT_EQ(json.exitCode, 0);
    const QList<QJsonObject> objects = json.jsonLines();
    ASSERT_EQ(objects.size(), 1);
    const QJsonObject &id = objects.first();
    EXPECT_EQ(id[u"partNumber"].toString(), QStringLiteral("QX108---19M-----"));
    EXPECT_EQ(id[u"serialNumber"].toString(), QStringLiteral("123456"));
    EXPECT_EQ(id[u"baudRate"].toInt(), 921600);
    EXPECT_EQ(id[u"resolutionBits"].toInt(), 19);
    EXPECT_EQ(id[u"countsPerTurn"].toInt(), 524288);
    EXPECT_TRUE(id[u"multiturn"].toBool());
    EXPECT_DOUBLE_EQ(id[u"ringDiameterMm"].toDouble(), 109.096);
    EXPECT_EQ(id[u"codeLength"].toInt(), 9);
    EXPECT_EQ(id[u"firmwareRevision"].toDouble(), 4294967295.0);
}

TEST(SubcommandsTest, PollRunsTheWindowsCycleAndPrintsEachReadingWithItsQuantity)
{
    struct Case {
        const char *what;
        std::uint8_t minor;
        std::vector<QByteArray> cycle;
    };
    const Case cases[] = {
        {"firmware 2.9", 9, {"1", "3", "d", "j", "s", "t", "a", "1", "3"}},
        // Without the persistent status the cycle passes over "j".
        {"firmware 2.8", 8, {"1", "3", "d", "s", "t", "a", "1", "3", "d"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::EncoderConfig config = encoderAt(3 * 262144 + 18641);
        config.firmware.minor = c.minor;
        config.statusWord = 0x0240; // "Error" and "Signal Low"
        config.temperatureC = -10;
        config.signalLevel = 0;
        sim::SimulatedEncoder encoder(config);
        CliHarness cli;
        const CliResult result = cli.run(QStringList{QStringLiteral("poll"), QStringLiteral("--json"),
                                                     QStringLiteral("--count"), QStringLiteral("9"),
                                                     QStringLiteral("--interval"), QStringLiteral("0")}
                                         + portOf(encoder.portPath()));
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(requestsAfterIdentification(encoder), c.cycle);

        const QList<QJsonObject> readings = result.jsonLines();
        ASSERT_EQ(readings.size(), 9);
        for (int i = 0; i < readings.size(); ++i) {
            const QJsonObject &reading = readings.at(i);
            SCOPED_TRACE(i);
            EXPECT_EQ(reading[u"command"].toString().toLatin1(), c.cycle.at(static_cast<std::size_t>(i)));
            EXPECT_EQ(reading[u"counts"].toInt(), 18641);
            EXPECT_EQ(reading[u"turns"].toInt(), 3);
            EXPECT_NEAR(reading[u"degrees"].toDouble(), 25.5995, 1e-4);
            EXPECT_FALSE(reading[u"error"].toBool());
            const QString command = reading[u"command"].toString();
            // Every line has every key; those of other commands are null.
            EXPECT_EQ(reading.keys(), readings.first().keys());
            EXPECT_EQ(reading[u"event"].toString(), QStringLiteral("reading"));
            EXPECT_TRUE(QDateTime::fromString(reading[u"time"].toString(), Qt::ISODateWithMs).isValid());
            EXPECT_TRUE(reading[u"fault"].isNull());
            EXPECT_EQ(!reading[u"status"].isNull(), command == u"d");
            EXPECT_EQ(!reading[u"persistentStatus"].isNull(), command == u"j");
            EXPECT_EQ(!reading[u"speedRaw"].isNull(), command == u"s");
            EXPECT_EQ(!reading[u"temperatureC"].isNull(), command == u"t");
            EXPECT_EQ(!reading[u"signalLevel"].isNull(), command == u"a");
            if (command == u"d") {
                EXPECT_EQ(reading[u"status"][u"word"].toInt(), 0x0240);
                EXPECT_EQ(reading[u"status"][u"bits"].toArray(),
                          QJsonArray({QStringLiteral("Error"), QStringLiteral("Signal Low")}));
            }
            if (command == u"t") {
                EXPECT_EQ(reading[u"temperatureC"].toInt(), -10);
            }
            if (command == u"a") {
                EXPECT_EQ(reading[u"signalLevel"].toInt(), 0);
                EXPECT_EQ(reading[u"airGapUm"].toDouble(), 682.0); // a level of 0 counts as 1
            }
        }
    }
}

TEST(SubcommandsTest, PollTextAndCsvCarryTheSameReadings)
{
    sim::EncoderConfig config = encoderAt(18641, "QX105---18S-----");
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;

    const CliResult text = cli.run(QStringList{QStringLiteral("poll"), QStringLiteral("--count"),
                                               QStringLiteral("2"), QStringLiteral("--command"),
                                               QStringLiteral("s")}
                                   + portOf(encoder.portPath()));
    ASSERT_EQ(text.exitCode, 0);
    ASSERT_EQ(text.outLines().size(), 2);
    for (const QString &line : text.outLines()) {
        EXPECT_TRUE(line.contains(QStringLiteral("  s  counts 18641  angle 25.60 °  turns 0  ok  Speed: 0")))
            << line.toStdString();
    }

    encoder.setErrorFlag(true);
    const CliResult csv = cli.run(QStringList{QStringLiteral("poll"), QStringLiteral("--csv"),
                                              QStringLiteral("--count"), QStringLiteral("3"),
                                              QStringLiteral("--interval"), QStringLiteral("0")}
                                  + portOf(encoder.portPath()));
    ASSERT_EQ(csv.exitCode, 0);
    const QStringList rows = csv.outLines();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows.at(0), QStringLiteral("Time(UTC);Elapsed(ms);Command;Reply(hex);Turns;Counts;Angle(deg);Error;"
                                         "Status;PersistentStatus;Speed(raw);Temperature(C);Signal;AirGap(um);Fault"));
    for (const QString &row : rows)
        EXPECT_EQ(row.count(u';'), 14) << row.toStdString();
    // "1", "3", "d" of a single-turn encoder whose position carries the error flag: the flag,
    // and no numbers for the position.
    const QStringList first = rows.at(1).split(u';');
    EXPECT_TRUE(QDateTime::fromString(first.at(0), Qt::ISODateWithMs).isValid()) << first.at(0).toStdString();
    EXPECT_EQ(first.at(2), QStringLiteral("1"));
    EXPECT_EQ(first.at(3).size(), 8); // echo and 3 position bytes
    EXPECT_EQ(first.mid(4, 3), QStringList(3, QString()));
    EXPECT_EQ(first.at(7), QStringLiteral("1"));
    EXPECT_EQ(rows.at(3).split(u';').at(2), QStringLiteral("d"));
}

TEST(SubcommandsTest, ConfigurationCommandsChangeTheEncoderAndReportOneJsonLine)
{
    sim::EncoderConfig config = encoderAt(3 * 262144 + 123456);
    config.statusWord = 0x0040;
    sim::SimulatedEncoder encoder(config);
    encoder.setStatusWord(0);
    ASSERT_EQ(encoder.snapshot().persistentStatusWord, 0x0040);
    CliHarness cli;
    const auto run = [&](const char *command) {
        encoder.clearLog();
        return cli.run(QStringList{QString::fromLatin1(command), QStringLiteral("--json")}
                       + portOf(encoder.portPath()));
    };

    const CliResult status = run("reset-status");
    ASSERT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_EQ(encoder.snapshot().persistentStatusWord, 0);
    // Each command ends with the reading that confirms it.
    EXPECT_EQ(requestsAfterIdentification(encoder),
              (std::vector<QByteArray>{quarn::resetPersistentStatusRequest(), QByteArrayLiteral("1")}));

    const CliResult zero = run("zero");
    ASSERT_EQ(zero.exitCode, 0) << zero.err.toStdString();
    ASSERT_EQ(zero.jsonLines().size(), 1);
    EXPECT_EQ(zero.jsonLines().first()[u"zeroOffsetCounts"].toInt(), 123456);
    EXPECT_EQ(zero.jsonLines().first()[u"countsAfter"].toInt(), 0);
    sim::EncoderSnapshot state = encoder.snapshot();
    EXPECT_EQ(state.reading.singleTurn, 0u);
    EXPECT_EQ(state.reading.turns, 0);
    EXPECT_EQ(state.savedSettings.zeroOffset, 123456);

    encoder.setPosition(5 * 262144 + 123456 + 1000);
    const CliResult multiturn = run("mt-zero");
    ASSERT_EQ(multiturn.exitCode, 0) << multiturn.err.toStdString();
    // The reading that confirms "M" comes after it, so the encoder has taken it by then.
    EXPECT_EQ(requestsAfterIdentification(encoder),
              (std::vector<QByteArray>{quarn::multiturnZeroRequest(), QByteArrayLiteral("1")}));
    EXPECT_EQ(encoder.snapshot().reading.turns, 0);
    EXPECT_EQ(encoder.snapshot().reading.singleTurn, 1000u);
    ASSERT_EQ(multiturn.jsonLines().size(), 1);
    EXPECT_EQ(multiturn.jsonLines().first()[u"turnsAfter"].toInt(), 0);
    EXPECT_EQ(multiturn.jsonLines().first()[u"countsAfter"].toInt(), 1000);

    const CliResult factory = run("factory-reset");
    ASSERT_EQ(factory.exitCode, 0);
    EXPECT_EQ(encoder.snapshot().settings.zeroOffset, 0);
    EXPECT_EQ(requestsAfterIdentification(encoder),
              (std::vector<QByteArray>{quarn::factoryResetRequest(), QByteArrayLiteral("1")}));

    for (const CliResult *result : {&status, &zero, &multiturn, &factory}) {
        ASSERT_EQ(result->jsonLines().size(), 1);
        EXPECT_TRUE(result->jsonLines().first()[u"done"].toBool());
    }
}

TEST(SubcommandsTest, CommandsTheWindowWouldNotOfferAreRefusedWithoutARequest)
{
    struct Case {
        const char *what;
        const char *partNumber;
        std::uint8_t minor;
        bool errorFlag;
        QStringList arguments;
        const char *message;
    };
    const Case cases[] = {
        {"multiturn zero, single-turn", "QX105---18S-----", 9, false, {QStringLiteral("mt-zero")},
         "single-turn encoder"},
        {"reset status, firmware 2.8", "QX105---18M-----", 8, false, {QStringLiteral("reset-status")},
         "no persistent status"},
        {"poll j, firmware 2.8", "QX105---18M-----", 8, false,
         {QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("j")}, "no persistent status"},
        // Only the reading that finds the error goes out.
        {"zero on an error", "QX105---18M-----", 9, true, {QStringLiteral("zero")}, "position error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::EncoderConfig config = encoderAt(1000, c.partNumber);
        config.firmware.minor = c.minor;
        config.faults.errorFlag = c.errorFlag;
        sim::SimulatedEncoder encoder(config);
        CliHarness cli;
        const CliResult result = cli.run(c.arguments + portOf(encoder.portPath()));
        EXPECT_EQ(result.exitCode, 10);
        EXPECT_TRUE(result.out.isEmpty());
        ASSERT_EQ(result.failureLines().size(), 1);
        EXPECT_TRUE(result.err.contains(QLatin1String(c.message))) << result.err.toStdString();
        const std::vector<QByteArray> expected =
            c.errorFlag ? std::vector<QByteArray>{"1"} : std::vector<QByteArray>{};
        EXPECT_EQ(requestsAfterIdentification(encoder), expected);
        EXPECT_EQ(encoder.snapshot().saveCount, 0);
    }
}

TEST(SubcommandsTest, SelfCalibrationReportsItsOutcomeAndFlags)
{
    sim::EncoderConfig config = encoderAt(0);
    config.selfCalibration.durationMs = 600;
    config.selfCalibration.eccentricityUm = 100;
    config.selfCalibration.radialShiftUm = -2;
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;

    const CliResult json = cli.run(QStringList{QStringLiteral("selfcal"), QStringLiteral("--json"),
                                               QStringLiteral("--arc"), QStringLiteral("200"),
                                               QStringLiteral("--timeout"), QStringLiteral("5")}
                                   + portOf(encoder.portPath()));
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(encoder.snapshot().calibrationArc, 200);
    EXPECT_EQ(encoder.snapshot().calibrationTimeout, 5);
    ASSERT_EQ(json.jsonLines().size(), 1);
    const QJsonObject report = json.jsonLines().first();
    const QJsonObject flags = report[u"flags"].toObject();
    EXPECT_TRUE(flags[u"finished"].toBool());
    EXPECT_TRUE(flags[u"successful"].toBool());
    for (const char *flag : {"timeoutExpired", "outOfRange", "arcOutOfRange", "noCorrection", "userErrorMap"})
        EXPECT_FALSE(flags[QLatin1String(flag)].toBool()) << flag;
    EXPECT_EQ(flags.size(), 7);
    EXPECT_EQ(report[u"eccentricityUm"].toInt(), 100);
    EXPECT_EQ(report[u"radialShiftUm"].toInt(), -2);
    // 100 µm on a ring of 45.8 mm.
    EXPECT_DOUBLE_EQ(report[u"accuracyBeforeDeg"].toDouble(), 0.265);
    EXPECT_DOUBLE_EQ(report[u"accuracyAfterDeg"].toDouble(), 0.044);

    // A calibration that never ends: the wait gives up after 1.1 x 1 s, the report still comes.
    sim::SelfCalibrationConfig endless = config.selfCalibration;
    endless.durationMs.reset();
    encoder.setSelfCalibration(endless);
    const CliResult text = cli.run(QStringList{QStringLiteral("selfcal"), QStringLiteral("--timeout"),
                                               QStringLiteral("1")}
                                   + portOf(encoder.portPath()));
    // A calibration that did not finish is no success for a script either.
    ASSERT_EQ(text.exitCode, cli::ExitCalibrationNotFinished) << text.err.toStdString();
    EXPECT_TRUE(text.errLines().last().startsWith(
        QStringLiteral("trevisor-cli: error: self-calibration not finished: its status did not change within 1.")))
        << text.err.toStdString();
    const QStringList lines = text.outLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("Calibration did not finish within 1.1 s"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Ring eccentricity: 100 µm")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Est. accuracy before calib.: ±0.265°")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Procedure finished: no")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Calibration successfull: no")));
    // Not a terminal: no progress bar, only the counter read before the start.
    EXPECT_FALSE(text.err.contains(u'['));
    EXPECT_TRUE(text.errLines().value(1).startsWith(QStringLiteral("trevisor-cli: Counter: "))) << text.err.toStdString();
}

TEST(SubcommandsTest, SpoiltStatusRepliesNeitherFinishTheCalibrationNorMakeItsReport)
{
    // Every third reply to each command spoilt in turn: random bytes, the last byte missing, and
    // (for the status, which has no position word) unchanged.
    sim::EncoderConfig config = encoderAt(0);
    config.selfCalibration.durationMs.reset();
    config.selfCalibration.eccentricityUm = 100;
    config.faults.mixedFaultEvery = 3;
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;
    const auto run = [&] {
        return cli.run(QStringList{QStringLiteral("selfcal"), QStringLiteral("--json"), QStringLiteral("--timeout"),
                                   QStringLiteral("1")}
                       + portOf(encoder.portPath()));
    };

    const CliResult never = run();
    EXPECT_EQ(never.exitCode, cli::ExitCalibrationNotFinished) << never.err.toStdString();
    // The report, then the failure.
    ASSERT_EQ(never.jsonLines().size(), 2);
    EXPECT_EQ(never.jsonLines().last()[u"kind"].toString(), QStringLiteral("selfcal-not-finished"));
    EXPECT_FALSE(never.jsonLines().first()[u"flags"].toObject()[u"finished"].toBool());
    EXPECT_EQ(never.jsonLines().first()[u"eccentricityUm"].toInt(), 0);

    // A calibration that finishes gives its own figures, not those of a spoilt reply.
    sim::SelfCalibrationConfig finishing = config.selfCalibration;
    finishing.durationMs = 300;
    encoder.setSelfCalibration(finishing);
    const CliResult finished = run();
    EXPECT_EQ(finished.exitCode, 0) << finished.err.toStdString();
    ASSERT_EQ(finished.jsonLines().size(), 1);
    EXPECT_TRUE(finished.jsonLines().first()[u"flags"].toObject()[u"successful"].toBool());
    EXPECT_EQ(finished.jsonLines().first()[u"eccentricityUm"].toInt(), 100);
    EXPECT_EQ(finished.jsonLines().first()[u"counter"].toInt(), 1);
}

TEST(SubcommandsTest, ACalibrationThatFinishedWithAFailureFlagExitsWithItsOwnCode)
{
    struct Case {
        const char *what;
        std::uint8_t finalFlags;
        const char *message; // nullptr: success
    };
    const Case cases[] = {
        {"out of range", 0x08, "trevisor-cli: error: self-calibration failed: Calibration out of range"},
        {"timeout and arc", 0x04 | 0x10,
         "trevisor-cli: error: self-calibration failed: Timeout expired, Input Arc Length out of range"},
        {"user error map only", 0x40, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::EncoderConfig config = encoderAt(0);
        config.selfCalibration.durationMs = 300;
        config.selfCalibration.finalFlags = c.finalFlags;
        sim::SimulatedEncoder encoder(config);
        CliHarness cli;
        const CliResult result = cli.run(QStringList{QStringLiteral("selfcal"), QStringLiteral("--json")}
                                         + portOf(encoder.portPath()));
        ASSERT_EQ(result.jsonLines().size(), c.message == nullptr ? 1 : 2) << result.err.toStdString();
        EXPECT_TRUE(result.jsonLines().first()[u"flags"].toObject()[u"finished"].toBool());
        if (c.message != nullptr) {
            EXPECT_EQ(result.jsonLines().last()[u"kind"].toString(), QStringLiteral("selfcal-failed"));
        }
        if (c.message == nullptr) {
            EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
            EXPECT_FALSE(result.err.contains(QStringLiteral("failed")));
        } else {
            EXPECT_EQ(result.exitCode, cli::ExitCalibrationFailed);
            EXPECT_EQ(result.errLines().last(), QLatin1String(c.message));
        }
    }
}

TEST(SubcommandsTest, DebugReadsRecordsAndWritesTheWindowsRecordingFile)
{
    sim::SimulatedEncoder encoder(encoderAt(5000));
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    CliHarness cli;

    const CliResult result = cli.run(QStringList{QStringLiteral("debug"), QStringLiteral("--json"),
                                                 QStringLiteral("--count"), QStringLiteral("3"),
                                                 QStringLiteral("--interval"), QStringLiteral("0"),
                                                 QStringLiteral("--record"), directory.path()}
                                     + portOf(encoder.portPath()));
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    // The recording opens the debug mode, then each reading is a poll step and a record.
    const std::vector<QByteArray> expected{quarn::debugEntryRequest(), "G", "1", "D", "3", "D", "d", "D"};
    EXPECT_EQ(requestsAfterIdentification(encoder), expected);

    const QList<QJsonObject> records = result.jsonLines();
    ASSERT_EQ(records.size(), 3);
    for (const QJsonObject &record : records) {
        EXPECT_TRUE(record[u"headerOk"].toBool());
        EXPECT_EQ(record[u"samples"].toArray().size(), 53);
        EXPECT_EQ(record[u"codeABits"].toString().size(), 8); // the ring's code length
        const QJsonArray harmonics = record[u"harmonics"].toArray();
        ASSERT_EQ(harmonics.size(), 3);
        EXPECT_EQ(harmonics.at(1)[u"periods"].toInt(), 8);
        EXPECT_GT(harmonics.at(1)[u"magnitude"].toDouble(), 0.0);
    }

    const QStringList files = QDir(directory.path()).entryList({QStringLiteral("TEST_*.csv")});
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.first().startsWith(QStringLiteral("TEST_QX105---18M-----_000042_")));
    QFile file(directory.filePath(files.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5); // header, three rows, nothing after the last CR LF
    EXPECT_EQ(lines.at(0), quarn::recordingHeaderLine() + '\r');
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(lines.at(i).count(';'), quarn::RecordingFieldCount);
        EXPECT_EQ(lines.at(i).split(';').at(3), "5000"); // ST from the poll step
    }
    EXPECT_TRUE(result.err.contains(QStringLiteral("Record duration: ")));
}

// The lines of a file, the last CR LF ending the last one.
QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast();
    return lines;
}

TEST(SubcommandsTest, DebugRecordingsStartedAtTheSameTimeInADirectoryKeepBothFiles)
{
    sim::SimulatedEncoder encoder(encoderAt(0));
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    cli::Context context;
    context.out = &outStream;
    context.err = &errStream;
    std::optional<cli::EncoderLink> link = cli::connectEncoder({encoder.portPath(), 115200, {}}, context);
    ASSERT_TRUE(link) << err.toStdString();

    cli::DebugOptions options;
    options.intervalMs = 0;
    options.recordPath = directory.path();
    options.now = [] { return QDateTime(QDate(2024, 2, 15), QTime(9, 5, 7)); };
    const QString name = QStringLiteral("TEST_QX105---18M-----_000042_20240215090507");
    const std::pair<qint64, QString> runs[] = {{5, name + QStringLiteral(".csv")},
                                               {2, name + QStringLiteral("-2.csv")}};
    for (const auto &[count, file] : runs) {
        options.count = count;
        ASSERT_EQ(cli::runDebug(*link, options, context), cli::ExitSuccess) << err.toStdString();
        errStream.flush();
        EXPECT_TRUE(err.contains(QStringLiteral("Recording to ") + directory.filePath(file))) << err.toStdString();
    }
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(fileLines(directory.filePath(runs[0].second)).size(), 6);
    EXPECT_EQ(fileLines(directory.filePath(runs[1].second)).size(), 3);
}

TEST(SubcommandsTest, DebugRefusesAnExistingRecordFileUnlessToldToOverwrite)
{
    sim::SimulatedEncoder encoder(encoderAt(0));
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("existing.csv"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
    }
    CliHarness cli;
    const QStringList debug{QStringLiteral("debug"), QStringLiteral("-n"), QStringLiteral("2"),
                            QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--record"), path};

    const CliResult refused = cli.run(debug + portOf(encoder.portPath()));
    EXPECT_EQ(refused.exitCode, cli::ExitFailure);
    EXPECT_EQ(refused.failureLines(),
              QStringList{QStringLiteral("trevisor-cli: error: file \"%1\" exists; --overwrite replaces it").arg(path)});
    EXPECT_TRUE(refused.out.isEmpty());
    // Refused before the debug mode was opened.
    EXPECT_TRUE(requestsAfterIdentification(encoder).empty());
    EXPECT_EQ(fileLines(path), QList<QByteArray>{"keep me"});

    const CliResult replaced = cli.run(debug + QStringList{QStringLiteral("--overwrite")} + portOf(encoder.portPath()));
    EXPECT_EQ(replaced.exitCode, cli::ExitSuccess) << replaced.err.toStdString();
    const QList<QByteArray> lines = fileLines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.first(), quarn::recordingHeaderLine() + '\r');
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files), QStringList{QStringLiteral("existing.csv")});
}

TEST(SubcommandsTest, DebugReportsAWrongHeaderAndAWrongEchoAndGoesOn)
{
    sim::EncoderConfig config = encoderAt(0);
    config.faults.wrongDebugHeader = true;
    config.faults.wrongConfirmEcho = true;
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;
    const CliResult result = cli.run(QStringList{QStringLiteral("debug"), QStringLiteral("--unlock")}
                                     + portOf(encoder.portPath()));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QStringLiteral("Problem pri odklepanju s komando G. Nepravilen echo.")));
    EXPECT_TRUE(result.err.contains(QStringLiteral("Debug data header mismatch!")));
    EXPECT_EQ(result.outLines().size(), 3); // fields, harmonics, samples
}

} // namespace
