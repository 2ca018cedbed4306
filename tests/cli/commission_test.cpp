// SPDX-License-Identifier: MIT
// `commission` against simulated encoders on several pseudo-terminals: the steps in their
// order, one record per encoder, ports side by side, and what one failing encoder leaves to
// the others.

#include "cli_harness.h"
#include "commission_record.h"
#include "flock_holder.h"
#include "output.h"

#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

sim::EncoderConfig encoderNumbered(int number)
{
    sim::EncoderConfig config;
    config.serialNumber = QByteArray::number(100000 + number);
    config.startPosition = 1000 * number;
    return config;
}

// The records and the other JSON objects of a run, by event.
QList<QJsonObject> objectsOf(const CliResult &result, const QString &event)
{
    QList<QJsonObject> objects = result.jsonLines();
    objects.removeIf([&](const QJsonObject &object) { return object[u"event"].toString() != event; });
    return objects;
}

QJsonObject recordOf(const CliResult &result, const QString &port)
{
    for (const QJsonObject &record : objectsOf(result, QStringLiteral("commissioned"))) {
        if (record[u"port"].toString() == port)
            return record;
    }
    return {};
}

QJsonObject stepOf(const QJsonObject &record, const QString &name)
{
    for (const QJsonValue &step : record[u"steps"].toArray()) {
        if (step[u"step"].toString() == name)
            return step.toObject();
    }
    return {};
}

// Where a request first reached the encoder; -1 when it never did.
qsizetype firstIndexOf(const std::vector<sim::LogEntry> &log, const QByteArray &request)
{
    const auto found = std::find_if(log.begin(), log.end(), [&](const sim::LogEntry &entry) { return entry.bytes == request; });
    return found == log.end() ? -1 : static_cast<qsizetype>(found - log.begin());
}

TEST(CommissionTest, ThreeEncodersSideBySideEachGetARecordAndOneFailureStopsOnlyItsOwn)
{
    std::vector<std::unique_ptr<sim::SimulatedEncoder>> encoders;
    for (int number = 1; number <= 3; ++number) {
        sim::EncoderConfig config = encoderNumbered(number);
        // The second one's calibration ends out of range.
        if (number == 2)
            config.selfCalibration.finalFlags = 0x08;
        encoders.push_back(std::make_unique<sim::SimulatedEncoder>(config));
    }
    QStringList arguments{QStringLiteral("commission"), QStringLiteral("--selfcal"), QStringLiteral("--zero"),
                          QStringLiteral("--json")};
    for (const auto &encoder : encoders)
        arguments << QStringLiteral("-p") + encoder->portPath();

    CliHarness cli;
    QElapsedTimer clock;
    clock.start();
    const CliResult result = cli.run(arguments);
    const qint64 ms = clock.elapsed();

    EXPECT_EQ(result.exitCode, 4) << result.err.toStdString();
    ASSERT_EQ(objectsOf(result, QStringLiteral("commissioned")).size(), 3) << result.out.toStdString();
    for (int number : {1, 3}) {
        const sim::SimulatedEncoder &encoder = *encoders.at(static_cast<std::size_t>(number - 1));
        const QJsonObject record = recordOf(result, encoder.portPath());
        EXPECT_TRUE(record[u"ok"].toBool()) << number;
        EXPECT_EQ(record[u"serialNumber"].toString(), QStringLiteral("10000%1").arg(number));
        EXPECT_EQ(record[u"firmware"].toString(), QStringLiteral("2.9.1.4"));
        EXPECT_EQ(stepOf(record, QStringLiteral("zero"))[u"details"][u"zeroOffsetCounts"].toInt(), 1000 * number);
        EXPECT_EQ(stepOf(record, QStringLiteral("verify"))[u"details"][u"counts"].toInt(), 0);
        EXPECT_EQ(encoder.snapshot().settings.zeroOffset, 1000 * number);
    }
    const sim::SimulatedEncoder &failing = *encoders.at(1);
    const QJsonObject record = recordOf(result, failing.portPath());
    EXPECT_FALSE(record[u"ok"].toBool());
    EXPECT_EQ(record[u"failedStep"].toString(), QStringLiteral("selfcal"));
    EXPECT_EQ(record[u"kind"].toString(), QStringLiteral("selfcal-failed"));
    EXPECT_EQ(record[u"exitCode"].toInt(), 4);
    const QJsonObject calibration = stepOf(record, QStringLiteral("selfcal"));
    EXPECT_EQ(calibration[u"result"].toString(), QStringLiteral("failed"));
    // The report of the calibration that failed is kept.
    EXPECT_TRUE(calibration[u"details"][u"flags"][u"outOfRange"].toBool()) << record[u"steps"].toArray().size();
    EXPECT_EQ(stepOf(record, QStringLiteral("zero"))[u"result"].toString(), QStringLiteral("not-run"));
    EXPECT_EQ(failing.snapshot().settings.zeroOffset, 0);
    EXPECT_EQ(failing.snapshot().saveCount, 0);

    // The failure as every failure comes with --json, and as one line on standard error that
    // names its port.
    const QList<QJsonObject> errors = objectsOf(result, QStringLiteral("error"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.first()[u"port"].toString(), failing.portPath());
    EXPECT_EQ(errors.first()[u"kind"].toString(), QStringLiteral("selfcal-failed"));
    EXPECT_EQ(errors.first()[u"serialNumber"].toString(), QStringLiteral("100002"));
    ASSERT_EQ(result.failureLines().size(), 1) << result.err.toStdString();
    EXPECT_TRUE(result.failureLines().first().startsWith(
        QStringLiteral("trevisor-cli: error: %1: self-calibration failed").arg(failing.portPath())))
        << result.err.toStdString();
    const QJsonObject summary = objectsOf(result, QStringLiteral("summary")).value(0);
    EXPECT_EQ(summary[u"encoders"].toInt(), 3);
    EXPECT_EQ(summary[u"commissioned"].toInt(), 2);
    EXPECT_EQ(summary[u"exitCode"].toInt(), 4);
    EXPECT_EQ(result.jsonLines().constLast(), summary);

    // Each sequence waits about two seconds for its calibration: one after another would take
    // more than six.
    EXPECT_LT(ms, 5000);
}

TEST(CommissionTest, TheStepsRunInTheirOrderOnOnePortAndTheTextIsOneLinePerEncoder)
{
    sim::SimulatedEncoder encoder(encoderNumbered(7));
    CliHarness cli;
    // Given in another order than they run.
    const CliResult result = cli.run({QStringLiteral("commission"), QStringLiteral("--mt-zero"), QStringLiteral("--zero"),
                                      QStringLiteral("--selfcal"), QStringLiteral("--arc"), QStringLiteral("270"),
                                      QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--reset-status"),
                                      QStringLiteral("--factory-reset"), QStringLiteral("--part"),
                                      QStringLiteral("QX105---18M-----"), QStringLiteral("-p") + encoder.portPath(),
                                      QStringLiteral("-b115200")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();

    const std::vector<sim::LogEntry> log = encoder.log();
    const QList<qsizetype> order{firstIndexOf(log, "v"),
                                 firstIndexOf(log, quarn::factoryResetRequest()),
                                 firstIndexOf(log, quarn::resetPersistentStatusRequest()),
                                 firstIndexOf(log, quarn::selfCalArcRequest(270)),
                                 firstIndexOf(log, quarn::selfCalStartRequest()),
                                 firstIndexOf(log, quarn::zeroOffsetRequest(7000)),
                                 firstIndexOf(log, quarn::saveRequest())};
    EXPECT_FALSE(order.contains(-1)) << order.indexOf(-1);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    // The multiturn zero after the zero's save, its own reading, then the closing one.
    ASSERT_GT(log.size(), 3U);
    EXPECT_EQ(log.at(log.size() - 3).bytes, quarn::multiturnZeroRequest());
    EXPECT_EQ(log.at(log.size() - 2).bytes, QByteArray("1"));
    EXPECT_EQ(log.back().bytes, QByteArray("1"));
    EXPECT_EQ(encoder.snapshot().settings.zeroOffset, 7000);

    const QStringList lines = result.outLines();
    ASSERT_EQ(lines.size(), 2) << result.out.toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("%1  QX105---18M-----  100007  firmware 2.9.1.4  ok  identify ")
                                           .arg(encoder.portPath())))
        << lines.at(0).toStdString();
    for (const char *step : {"part", "factory-reset", "reset-status", "selfcal", "zero", "mt-zero", "verify"})
        EXPECT_TRUE(lines.at(0).contains(QLatin1String(step) + u' ')) << step;
    EXPECT_TRUE(lines.at(1).startsWith(QStringLiteral("1 encoder: 1 commissioned in "))) << lines.at(1).toStdString();
    // One port: its messages as every command's, the encoder named.
    EXPECT_EQ(result.errLines(),
              QStringList{QStringLiteral("trevisor-cli: encoder QX105---18M----- serial 100007 on %1 at 115200 baud")
                              .arg(encoder.portPath())});
}

TEST(CommissionTest, AnEncoderOfAnotherPartIsRefusedBeforeAnythingIsWritten)
{
    sim::SimulatedEncoder encoder(encoderNumbered(1));
    CliHarness cli;
    const CliResult result =
        cli.run(QStringList{QStringLiteral("commission"), QStringLiteral("--part"), QStringLiteral("QX108---19M-----"),
                            QStringLiteral("--zero"), QStringLiteral("--json")}
                + portOf(encoder.portPath()));
    EXPECT_EQ(result.exitCode, 10);
    const QJsonObject record = recordOf(result, encoder.portPath());
    EXPECT_EQ(record[u"failedStep"].toString(), QStringLiteral("part"));
    EXPECT_EQ(record[u"kind"].toString(), QStringLiteral("wrong-part"));
    EXPECT_EQ(stepOf(record, QStringLiteral("zero"))[u"result"].toString(), QStringLiteral("not-run"));
    for (const sim::LogEntry &entry : encoder.log())
        EXPECT_EQ(entry.bytes, QByteArray("v"));
}

TEST(CommissionTest, AnEncoderThatVanishesMidwayFailsAloneAndIsCommissionedOnceItIsBack)
{
    sim::SimulatedEncoder steady(encoderNumbered(1));
    sim::EncoderConfig config = encoderNumbered(2);
    sim::SimulatedEncoder vanishing(config);
    QTemporaryDir links;
    ASSERT_TRUE(links.isValid());
    const QString link = links.filePath(QStringLiteral("station2"));
    ASSERT_TRUE(vanishing.setLinkPath(link));

    CliHarness cli;
    // The adapter is pulled during the calibration's wait.
    QElapsedTimer clock;
    clock.start();
    bool pulled = false;
    cli.stopWhen = [&](const QString &) {
        if (!pulled && clock.elapsed() > 700) {
            vanishing.vanish();
            pulled = true;
        }
        return false;
    };
    const QStringList arguments{QStringLiteral("commission"), QStringLiteral("--selfcal"), QStringLiteral("--zero"),
                                QStringLiteral("--json"),     QStringLiteral("-p"),        steady.portPath(),
                                QStringLiteral("-p"),         link};
    const CliResult result = cli.run(arguments);
    ASSERT_TRUE(pulled);
    EXPECT_EQ(result.exitCode, 5) << result.err.toStdString();
    EXPECT_TRUE(recordOf(result, steady.portPath())[u"ok"].toBool()) << result.out.toStdString();
    const QJsonObject lost = recordOf(result, link);
    EXPECT_FALSE(lost[u"ok"].toBool());
    EXPECT_EQ(lost[u"failedStep"].toString(), QStringLiteral("selfcal"));
    EXPECT_EQ(lost[u"exitCode"].toInt(), 5);
    EXPECT_EQ(vanishing.snapshot().saveCount, 0);

    // Plugged in again: the same command commissions it.
    vanishing.reappear();
    cli.stopWhen = [](const QString &) { return false; };
    const CliResult again = cli.run(arguments);
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(recordOf(again, link)[u"ok"].toBool());
    EXPECT_EQ(vanishing.snapshot().settings.zeroOffset, 2000);
}

TEST(CommissionTest, AllTakesThePortsWithAnEncoderAndPassesOverTheOthers)
{
    sim::SimulatedEncoder first(encoderNumbered(1));
    sim::SimulatedEncoder second(encoderNumbered(2));
    sim::SimulatedEncoder held(encoderNumbered(3));
    FlockHolder helper(held.portPath());
    if (!helper.started())
        GTEST_SKIP() << "flock (util-linux) is not installed";
    ASSERT_TRUE(helper.held());

    CliHarness cli;
    const QString missing = QDir::temp().filePath(QStringLiteral("no-such-quarn-port"));
    cli.ports = serial::extraPortEntries(QStringList{first.portPath(), missing, held.portPath(), second.portPath()}.join(u':'));
    const CliResult result = cli.run({QStringLiteral("commission"), QStringLiteral("--all"), QStringLiteral("--zero"),
                                      QStringLiteral("--json")});
    helper.release();

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QList<QJsonObject> records = objectsOf(result, QStringLiteral("commissioned"));
    ASSERT_EQ(records.size(), 2) << result.out.toStdString();
    EXPECT_TRUE(recordOf(result, first.portPath())[u"ok"].toBool());
    EXPECT_TRUE(recordOf(result, second.portPath())[u"ok"].toBool());
    // No failure: the held port only warns, the missing one says nothing without --verbose.
    EXPECT_TRUE(result.failureLines().isEmpty()) << result.err.toStdString();
    const QStringList warnings = result.errLines().filter(QStringLiteral("warning"));
    ASSERT_EQ(warnings.size(), 1) << result.err.toStdString();
    EXPECT_TRUE(warnings.first().startsWith(QStringLiteral("trevisor-cli: warning: %1: passed over: cannot open %1: in use by flock")
                                                .arg(held.portPath())))
        << warnings.first().toStdString();
    EXPECT_FALSE(result.err.contains(missing));
    EXPECT_TRUE(held.log().empty());
}

TEST(CommissionTest, AllWithoutAnyEncoderFailsAsNoEncoder)
{
    CliHarness cli;
    cli.ports = serial::extraPortEntries(QDir::temp().filePath(QStringLiteral("no-such-quarn-port")));
    const CliResult result = cli.run({QStringLiteral("commission"), QStringLiteral("--all"), QStringLiteral("--json")});
    EXPECT_EQ(result.exitCode, 6);
    ASSERT_EQ(result.failureLines().size(), 1) << result.err.toStdString();
    EXPECT_EQ(result.jsonLines().value(0)[u"kind"].toString(), QStringLiteral("no-encoder"));
}

TEST(CommissionTest, CtrlCDuringTheCalibrationEndsWithARecordAnd130)
{
    sim::EncoderConfig config = encoderNumbered(1);
    config.selfCalibration.durationMs.reset(); // never ends
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;
    QElapsedTimer clock;
    clock.start();
    cli.stopWhen = [&](const QString &) { return clock.elapsed() > 500; };
    const CliResult result =
        cli.run(QStringList{QStringLiteral("commission"), QStringLiteral("--selfcal"), QStringLiteral("--timeout"),
                            QStringLiteral("40"), QStringLiteral("--zero"), QStringLiteral("--json")}
                + portOf(encoder.portPath()));
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_LT(clock.elapsed(), 5000);
    const QJsonObject record = recordOf(result, encoder.portPath());
    EXPECT_FALSE(record[u"ok"].toBool());
    EXPECT_EQ(record[u"kind"].toString(), QStringLiteral("interrupted"));
    EXPECT_EQ(stepOf(record, QStringLiteral("zero"))[u"result"].toString(), QStringLiteral("not-run"));
}

TEST(CommissionTest, ConflictingOptionsAreUsageErrorsBeforeAnyPortIsTouched)
{
    sim::SimulatedEncoder encoder;
    QTemporaryDir links;
    ASSERT_TRUE(links.isValid());
    const QString alias = links.filePath(QStringLiteral("alias"));
    ASSERT_TRUE(QFile::link(encoder.portPath(), alias));
    const QString port = encoder.portPath();
    const QList<QStringList> cases{
        {QStringLiteral("commission"), QStringLiteral("--all"), QStringLiteral("-p"), port},
        {QStringLiteral("commission"), QStringLiteral("--serial"), QStringLiteral("42"), QStringLiteral("-p"), port,
         QStringLiteral("-p/dev/null")},
        {QStringLiteral("commission"), QStringLiteral("--arc"), QStringLiteral("270"), QStringLiteral("-p"), port},
        {QStringLiteral("commission"), QStringLiteral("--selfcal"), QStringLiteral("--timeout"), QStringLiteral("0"),
         QStringLiteral("-p"), port},
        {QStringLiteral("commission"), QStringLiteral("-p"), port, QStringLiteral("-p"), alias},
        {QStringLiteral("commission"), QStringLiteral("--part="), QStringLiteral("-p"), port},
        {QStringLiteral("zero"), QStringLiteral("-p"), port, QStringLiteral("-p"), alias},
    };
    CliHarness cli;
    for (const QStringList &arguments : cases) {
        const CliResult result = cli.run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_EQ(result.failureLines().size(), 1) << result.err.toStdString();
    }
    EXPECT_TRUE(encoder.log().empty());
}

TEST(CommissionRecordTest, TheExitCodeIsTheFirstFailedEncodersAndAStopOutranksIt)
{
    const auto record = [](std::optional<int> failedCode, bool stoppedBeforeAStep = false) {
        cli::CommissionRecord result;
        cli::StepOutcome identify;
        identify.ran = true;
        identify.exitCode = failedCode.value_or(0);
        result.steps.append(identify);
        cli::StepOutcome verify;
        verify.step = cli::CommissionStep::Verify;
        verify.ran = !failedCode && !stoppedBeforeAStep;
        result.steps.append(verify);
        return result;
    };
    struct Case {
        QList<cli::CommissionRecord> records;
        int exitCode;
    };
    const QList<Case> cases{
        {{record(std::nullopt), record(std::nullopt)}, 0},
        {{record(std::nullopt), record(5), record(6)}, 5},
        {{record(6), record(5)}, 6},
        {{record(5), record(std::nullopt, true)}, 130},
        {{record(5), record(130)}, 130},
    };
    for (const Case &c : cases)
        EXPECT_EQ(cli::commissionExitCode(c.records), c.exitCode) << c.exitCode;
}

TEST(CommissionRecordTest, AMessageOfOneOfSeveralPortsNamesItAfterItsPrefix)
{
    QString messages;
    QTextStream err(&messages);
    cli::Context context;
    context.err = &err;
    context.messagePort = QStringLiteral("/dev/ttyUSB1");
    cli::fail(context, cli::FailureKind::CalibrationFailed, QStringLiteral("self-calibration failed"));
    cli::writeWarning(context, QStringLiteral("odd"));
    cli::writeInfo(context, QStringLiteral("commission: zero"));
    cli::fail(context, cli::FailureKind::NoReply, QStringLiteral("no reply on /dev/ttyUSB1"));
    err.flush();
    EXPECT_EQ(messages.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("trevisor-cli: error: /dev/ttyUSB1: self-calibration failed"),
                           QStringLiteral("trevisor-cli: warning: /dev/ttyUSB1: odd"),
                           QStringLiteral("trevisor-cli: /dev/ttyUSB1: commission: zero"),
                           QStringLiteral("trevisor-cli: error: /dev/ttyUSB1: no reply on /dev/ttyUSB1")}));
    // The failure kept for the exit code and the error object is the message itself.
    EXPECT_EQ(context.failure->message, QStringLiteral("self-calibration failed"));
}

} // namespace
