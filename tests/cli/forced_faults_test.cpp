// SPDX-License-Identifier: MIT
// Failures the simulator cannot be made to show at a chosen moment, forced on a scripted port:
// a write that fails in the middle of a poll or of the self-calibration wait, a self-calibration
// status that never comes, and a zero whose position reading fails or carries the error flag.

#include "cli_harness.h"

#include "encoder_link.h"
#include "fake_serial_port.h"
#include "quarn_konstante.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray identificationReply(std::uint8_t minor)
{
    QByteArray reply = QByteArrayLiteral("vQuarn-2 000042") + QByteArray(3, ' ')
                       + QByteArrayLiteral("QX105---18M-----") + QByteArray(1, ' ');
    reply.append(static_cast<char>(2));
    reply.append(static_cast<char>(minor));
    reply.append(static_cast<char>(1));
    reply.append(QByteArray::fromHex("00000004"));
    return reply;
}

const QByteArray GoodPosition = QByteArray::fromHex("31") + QByteArray::fromHex("0002") + QByteArray::fromHex("00FA02");

// Where the scripted shaft stands: 1000 counts of 18 bits, turn 2.
constexpr std::int32_t ShaftCounts = 1000;
constexpr std::int32_t CountsPerTurn = 262144;

// The reply to "1" (or, without the echo, "3") at these counts, turn 2, no error.
QByteArray positionReply(std::int32_t counts, bool echo = true)
{
    const std::uint32_t word = (static_cast<std::uint32_t>(counts) << 6) | 0x02u;
    QByteArray reply = QByteArray::fromHex("0002");
    reply.append(static_cast<char>(word >> 16));
    reply.append(static_cast<char>(word >> 8));
    reply.append(static_cast<char>(word));
    return echo ? '1' + reply : reply;
}

struct Script {
    // The replies to the first "1" requests, in turn; every later one is the shaft's position.
    QList<QByteArray> positionReplies;
    // A self-calibration status that never changes; without it "i" goes unanswered.
    bool answersStatus = false;
    // The zero requests change nothing: the shaft keeps reading 1000.
    bool ignoresZero = false;
    // Nothing is answered once this request has arrived.
    QByteArray silentAfter;
};

Script withReplies(QList<QByteArray> positionReplies)
{
    Script script;
    script.positionReplies = std::move(positionReplies);
    return script;
}

Script answeringStatus()
{
    Script script;
    script.answersStatus = true;
    return script;
}

Script silentAfter(const QByteArray &request)
{
    Script script;
    script.silentAfter = request;
    return script;
}

Script ignoringZero()
{
    Script script;
    script.ignoresZero = true;
    return script;
}

// An encoder on a scripted port: identification, position replies ("1" and "3": 1000 counts
// less the zero offset, turn 2), and no answer to anything else unless the script says so.
std::unique_ptr<serial::FakeSerialPort> scriptedEncoder(const Script &script = {})
{
    auto port = std::make_unique<serial::FakeSerialPort>();
    auto positions = std::make_shared<qsizetype>(0);
    auto zeroOffset = std::make_shared<std::int32_t>(0);
    auto silent = std::make_shared<bool>(false);
    port->setResponder([script, positions, zeroOffset, silent](const QByteArray &request) {
        QList<serial::FakeReplyChunk> reply;
        const std::int32_t counts = ((ShaftCounts - *zeroOffset) % CountsPerTurn + CountsPerTurn) % CountsPerTurn;
        if (*silent) {
            return reply;
        } else if (request == "v") {
            reply.append({0, identificationReply(9)});
        } else if (request == "1") {
            const qsizetype index = (*positions)++;
            reply.append({0, index < script.positionReplies.size() ? script.positionReplies.at(index)
                                                                   : positionReply(counts)});
        } else if (request == "3") {
            reply.append({0, positionReply(counts, false)});
        } else if (request == "i" && script.answersStatus) {
            reply.append({0, QByteArray::fromHex("6900000000000000")});
        } else if (request.startsWith(quarn::UnlockPrefix + 'Z') && !script.ignoresZero) {
            // The argument 2 clears the offset; any other is the position that reads 0.
            const std::int32_t value = static_cast<std::int32_t>(qFromBigEndian<quint32>(request.constData() + 5));
            *zeroOffset = value == 2 ? 0 : value;
        }
        *silent = !script.silentAfter.isEmpty() && request == script.silentAfter;
        return reply;
    });
    return port;
}

class ForcedFaultsTest : public ::testing::Test {
protected:
    CliResult run(const QStringList &arguments, std::unique_ptr<serial::FakeSerialPort> port)
    {
        record = port->sharedRecord();
        fake = port.get();
        auto handedOut = std::make_shared<std::unique_ptr<serial::FakeSerialPort>>(std::move(port));
        CliHarness cli;
        cli.makePort = [handedOut]() -> std::unique_ptr<serial::SerialPort> { return std::move(*handedOut); };
        return cli.run(arguments + QStringList{QStringLiteral("--port"), QStringLiteral("/dev/fake0"),
                                               QStringLiteral("--baud"), QStringLiteral("115200")});
    }

    serial::FakeSerialPort *fake = nullptr;
    std::shared_ptr<const serial::FakePortRecord> record;
};

TEST_F(ForcedFaultsTest, AWriteFailingMidPollEndsWithCableDisconnectedAndTheReadingsSoFar)
{
    auto port = scriptedEncoder();
    // "v", then three readings; the fourth request's byte fails.
    port->failWriteAt(4);
    const CliResult result = run({QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("1"),
                                  QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--json")},
                                 std::move(port));
    EXPECT_EQ(result.exitCode, 5);
    const QList<QJsonObject> readings = result.jsonLines();
    // The readings so far, then the failure.
    ASSERT_EQ(readings.size(), 4);
    EXPECT_EQ(readings.last()[u"kind"].toString(), QStringLiteral("port-lost"));
    for (const QJsonObject &reading : readings.mid(0, 3)) {
        EXPECT_EQ(reading[u"counts"].toInt(), 1000); // FA02 >> 6 = 1000
        EXPECT_EQ(reading[u"turns"].toInt(), 2);
    }
    ASSERT_EQ(result.failureLines().size(), 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("trevisor-cli: error: Cable disconnected! \"1\" could not be written to /dev/fake0")))
        << result.err.toStdString();
    // The port is released at once; nothing is tried on it afterwards.
    EXPECT_EQ(record->events.last(), QStringLiteral("close"));
    EXPECT_EQ(record->writes.size(), 5);
}

TEST_F(ForcedFaultsTest, AStatusThatNeverComesStopsTheSelfCalibrationBeforeItsStart)
{
    const CliResult result = run({QStringLiteral("selfcal"), QStringLiteral("--arc"), QStringLiteral("300"),
                                  QStringLiteral("--verbose")},
                                 scriptedEncoder());
    EXPECT_EQ(result.exitCode, 5);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.contains(QStringLiteral("no reply to \"i\" within 300 ms")));
    EXPECT_EQ(result.errLines().last(),
              QStringLiteral("trevisor-cli: error: Command \"i\" failed! The status before the start could not be "
                             "confirmed: no two of 4 replies agreed"));
    EXPECT_EQ(record->written().count('i'), 4);
    // Arc and timeout went out, the start did not.
    const QByteArray written = record->written();
    EXPECT_TRUE(written.contains(quarn::selfCalArcRequest(300)));
    EXPECT_TRUE(written.contains(quarn::selfCalTimeoutRequest(10)));
    EXPECT_FALSE(written.contains(quarn::selfCalStartRequest()));
}

TEST_F(ForcedFaultsTest, ZeroSetsNoZeroWithoutAGoodPositionReadingOfItsOwn)
{
    struct Case {
        const char *what;
        QByteArray positionReply; // the reading after the first zero request and "M"
        QString reason;
        int exitCode;
    };
    const Case cases[] = {
        {"error flag", QByteArray::fromHex("31000200FA00"), QStringLiteral("the reading carries the error flag"), 10},
        {"short reply", QByteArray::fromHex("3100"), QStringLiteral("incomplete reply to \"1\""), 5},
        {"wrong echo", QByteArray::fromHex("3200020C40B2"), QStringLiteral("it begins with 32, not the echo"), 5},
        {"a byte too many", GoodPosition + '\0', QStringLiteral("is not a whole reply to \"1\""), 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // The first reading, which checks the error flag before anything is sent, is good.
        const CliResult result =
            run({QStringLiteral("zero")}, scriptedEncoder(withReplies({GoodPosition, c.positionReply})));
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_TRUE(result.out.isEmpty());
        const QStringList lines = result.failureLines();
        ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("trevisor-cli: error: Set zero offset failed! ")));
        EXPECT_TRUE(lines.first().contains(c.reason)) << lines.first().toStdString();
        // The first zero request and "M" went out; no zero at that position, no save.
        const QByteArray written = record->written();
        EXPECT_EQ(written.count(quarn::UnlockPrefix + 'Z'), 1);
        EXPECT_TRUE(written.contains(quarn::zeroOffsetTemplate()));
        EXPECT_FALSE(written.contains(quarn::saveRequest()));
        EXPECT_TRUE(written.endsWith('1'));
    }
}

TEST_F(ForcedFaultsTest, APortLostDuringTheSelfCalibrationWaitEndsItAtThatStatusRequest)
{
    auto port = scriptedEncoder(answeringStatus());
    // "v" (0), arc (1-7), timeout (8-13), two agreeing statuses (14, 15), start (16-20), the
    // wait's first status (21): its second one cannot be written.
    port->failWriteAt(22);
    const CliResult result = run({QStringLiteral("selfcal")}, std::move(port));
    EXPECT_EQ(result.exitCode, 5);
    EXPECT_TRUE(result.out.isEmpty());
    const QStringList lines = result.failureLines();
    ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("trevisor-cli: error: Cable disconnected! \"i\"")))
        << result.err.toStdString();
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral(" Command \"i\" failed!")));
    // Nothing after the failed write, and the port released.
    EXPECT_EQ(record->writes.size(), 23);
    EXPECT_EQ(record->events.last(), QStringLiteral("close"));
}

TEST_F(ForcedFaultsTest, SpoiltReadingsAreWrittenAsSuchAndThePollGoesOn)
{
    const QByteArray shortReply = QByteArray::fromHex("3100");
    const QByteArray wrongEcho = QByteArray::fromHex("7A000200FA02");
    // Replies to the first "1" requests: good, short, a wrong echo, good, none at all, good.
    const CliResult json = run({QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("1"),
                                QStringLiteral("--count"), QStringLiteral("6"), QStringLiteral("--interval"),
                                QStringLiteral("0"), QStringLiteral("--json")},
                               scriptedEncoder(withReplies({GoodPosition, shortReply, wrongEcho, GoodPosition, QByteArray()})));
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QList<QJsonObject> readings = json.jsonLines();
    ASSERT_EQ(readings.size(), 6);
    const bool spoilt[] = {false, true, true, false, true, false};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const QJsonObject &reading = readings.at(i);
        EXPECT_EQ(reading.keys(), readings.first().keys());
        EXPECT_EQ(reading[u"fault"].isString(), spoilt[i]);
        EXPECT_EQ(reading[u"counts"].isNull(), spoilt[i]);
        EXPECT_EQ(reading[u"error"].isNull(), spoilt[i]);
        if (!spoilt[i]) {
            EXPECT_EQ(reading[u"counts"].toInt(), 1000);
        }
    }
    EXPECT_TRUE(readings.at(1)[u"fault"].toString().startsWith(QStringLiteral("incomplete reply to \"1\" on /dev/fake0: 2 of")));
    EXPECT_TRUE(readings.at(2)[u"fault"].toString().startsWith(QStringLiteral("corrupt reply to \"1\"")));
    EXPECT_TRUE(readings.at(4)[u"fault"].toString().startsWith(QStringLiteral("no reply to \"1\"")));
    EXPECT_TRUE(json.err.isEmpty()) << json.err.toStdString();

    // CSV: the row of a spoilt reading keeps its columns, empty.
    const CliResult csv = run({QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("1"),
                               QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--interval"),
                               QStringLiteral("0"), QStringLiteral("--csv")},
                              scriptedEncoder(withReplies({shortReply})));
    EXPECT_EQ(csv.exitCode, 0);
    const QStringList row = csv.outLines().value(1).split(u';');
    ASSERT_EQ(row.size(), 15);
    EXPECT_EQ(row.mid(4, 10), QStringList(10, QString()));
    EXPECT_TRUE(row.last().startsWith(QStringLiteral("incomplete reply")));
}

TEST_F(ForcedFaultsTest, TooManySpoiltReadingsInARowEndTheRunWithExitCodeOne)
{
    const QByteArray shortReply = QByteArray::fromHex("3100");
    const QList<QByteArray> bad(10, shortReply);
    struct Case {
        QStringList options;
        int exitCode;
        qsizetype lines;
    };
    const Case cases[] = {
        {{}, 5, 3}, // three in a row by default
        {{QStringLiteral("--max-errors"), QStringLiteral("5")}, 5, 5},
        {{QStringLiteral("--max-errors"), QStringLiteral("0"), QStringLiteral("--count"), QStringLiteral("8")}, 0, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options.join(u' ').toStdString());
        const CliResult result = run(QStringList{QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("1"),
                                                 QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--json")}
                                         + c.options,
                                     scriptedEncoder(withReplies(bad)));
        EXPECT_EQ(result.exitCode, c.exitCode);
        // The readings, then the failure's error object.
        EXPECT_EQ(result.jsonLines().size(), c.lines + (c.exitCode != 0 ? 1 : 0));
        if (c.exitCode != 0) {
            EXPECT_EQ(result.jsonLines().last()[u"kind"].toString(), QStringLiteral("no-reply"));
            ASSERT_EQ(result.errLines().size(), 1) << result.err.toStdString();
            EXPECT_TRUE(result.err.startsWith(QStringLiteral("trevisor-cli: error: %1 readings in a row failed").arg(c.lines)))
                << result.err.toStdString();
        }
    }
    // A good reading between them starts the count again.
    QList<QByteArray> mixed{shortReply, shortReply, GoodPosition, shortReply, shortReply, GoodPosition};
    const CliResult result = run({QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("1"),
                                  QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--count"),
                                  QStringLiteral("6")},
                                 scriptedEncoder(withReplies(mixed)));
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
}

TEST_F(ForcedFaultsTest, AnIdentificationThatBroughtBytesIsTriedOnceMore)
{
    const QByteArray good = identificationReply(9);
    struct Case {
        const char *what;
        QList<QByteArray> replies; // to the "v" requests in turn; the last repeats
        int exitCode;
        qsizetype requests;
    };
    const Case cases[] = {
        {"short, then whole", {good.left(10), good}, 0, 2},
        {"always short", {good.left(10)}, 6, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto port = std::make_unique<serial::FakeSerialPort>();
        auto sent = std::make_shared<qsizetype>(0);
        port->setResponder([c, sent](const QByteArray &request) {
            QList<serial::FakeReplyChunk> reply;
            if (request == "v")
                reply.append({0, c.replies.at(std::min((*sent)++, c.replies.size() - 1))});
            return reply;
        });
        const CliResult result = run({QStringLiteral("identify")}, std::move(port));
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_EQ(*sent, c.requests);
        if (c.exitCode != 0) {
            EXPECT_EQ(result.err, QStringLiteral("trevisor-cli: error: /dev/fake0 gave a corrupt reply at 115200 baud "
                                                 "(no encoder identified)\n"));
        }
    }
}

TEST_F(ForcedFaultsTest, CtrlCDuringZeroLetsTheSequenceFinishAndALostPortSaysWhatWasSent)
{
    auto port = scriptedEncoder();
    auto *raw = port.get();
    // Ctrl+C the moment the first zero request is out.
    CliHarness cli;
    auto handedOut = std::make_shared<std::unique_ptr<serial::FakeSerialPort>>(std::move(port));
    cli.makePort = [handedOut]() -> std::unique_ptr<serial::SerialPort> { return std::move(*handedOut); };
    std::shared_ptr<const serial::FakePortRecord> sent = raw->sharedRecord();
    cli.stopWhen = [sent](const QString &) { return sent->written().contains(quarn::zeroOffsetTemplate()); };
    const CliResult finished = cli.run({QStringLiteral("zero"), QStringLiteral("--port"), QStringLiteral("/dev/fake0"),
                                        QStringLiteral("--baud"), QStringLiteral("115200")});
    EXPECT_EQ(finished.exitCode, 0) << finished.err.toStdString();
    EXPECT_TRUE(sent->written().contains(quarn::saveRequest()));
    EXPECT_EQ(sent->written().count(quarn::multiturnZeroRequest()), 3);
    EXPECT_TRUE(finished.out.startsWith(QStringLiteral("Zero set at 1000 counts and saved")));

    // The port lost at the save: what went out, and that nothing was saved.
    auto lost = scriptedEncoder();
    // "v", "1", zero 2, "M", "1", zero 1000, "3", "M", then the save, whose last byte decides.
    const qsizetype beforeSave = 1 + 1 + quarn::zeroOffsetTemplate().size() + quarn::multiturnZeroRequest().size() + 1
                                 + quarn::zeroOffsetRequest(1000).size() + 1 + quarn::multiturnZeroRequest().size();
    lost->failWriteAt(beforeSave + quarn::saveRequest().size() - 1);
    const CliResult result = run({QStringLiteral("zero")}, std::move(lost));
    EXPECT_EQ(result.exitCode, 5);
    // Why and what went out, in one line.
    ASSERT_EQ(result.failureLines().size(), 1) << result.err.toStdString();
    EXPECT_TRUE(result.failureLines().first().startsWith(QStringLiteral("trevisor-cli: error: Cable disconnected! ")));
    EXPECT_TRUE(result.failureLines().first().endsWith(
        QStringLiteral(" Value Save failed! zero stopped after zero offset 2, multiturn 0, a position reading, "
                       "zero offset 1000, a position reading, multiturn 0; nothing was saved")))
        << result.err.toStdString();
}

TEST_F(ForcedFaultsTest, ZeroSucceedsOnlyWhenAReadingAfterTheSaveShowsTheZero)
{
    // What went out in every case: the whole sequence, up to and with the closing reading.
    const QString sent = QStringLiteral("zero at 1000 counts (zero offset 2, multiturn 0, a position reading, "
                                        "zero offset 1000, a position reading, multiturn 0, save, multiturn 0)"
                                        " was sent, but the encoder did not confirm it: ");
    struct Case {
        const char *what;
        Script script;
        int exitCode;
        QString failure; // after `sent`; empty: success
    };
    const Case cases[] = {
        {"the encoder takes the zero", {}, 0, {}},
        {"silent after the save", silentAfter(quarn::saveRequest()), 5,
         QStringLiteral("no reply to \"1\" within 300 ms")},
        {"the closing reading has a wrong echo", withReplies({GoodPosition, GoodPosition, QByteArray::fromHex("3200020C40B2")}),
         5, QStringLiteral("corrupt reply to \"1\" on /dev/fake0: it begins with 32, not the echo")},
        {"the closing reading carries the error flag",
         withReplies({GoodPosition, GoodPosition, QByteArray::fromHex("31000200FA00")}), 5,
         QStringLiteral("the reading carries the error flag")},
        {"the zero is not taken", ignoringZero(), 5, QStringLiteral("it reads 1000 counts ")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const CliResult result = run({QStringLiteral("zero"), QStringLiteral("--json")}, scriptedEncoder(c.script));
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        const QByteArray written = record->written();
        EXPECT_TRUE(written.contains(quarn::saveRequest()));
        // The closing reading comes after the last write.
        EXPECT_TRUE(written.endsWith(quarn::multiturnZeroRequest() + '1')) << written.toHex().toStdString();
        if (c.failure.isEmpty()) {
            ASSERT_EQ(result.jsonLines().size(), 1);
            EXPECT_EQ(result.jsonLines().first()[u"countsAfter"].toInt(), 0);
            EXPECT_TRUE(result.failureLines().isEmpty()) << result.err.toStdString();
            continue;
        }
        // Only the failure, as an error object.
        ASSERT_EQ(result.jsonLines().size(), 1) << result.out.toStdString();
        EXPECT_EQ(result.jsonLines().first()[u"kind"].toString(), QStringLiteral("not-confirmed"));
        const QStringList lines = result.failureLines();
        ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("trevisor-cli: error: ") + sent + c.failure))
            << lines.first().toStdString();
    }
}

TEST_F(ForcedFaultsTest, SingleCommandsSucceedOnlyWhenAReadingAfterTheirRequestComesGood)
{
    struct Case {
        const char *what;
        QString command;
        QByteArray request;
        Script script;
        int exitCode;
        QString failure;
    };
    const QByteArray flagged = QByteArray::fromHex("31000200FA00");
    const QByteArray wrongTurn = QByteArray::fromHex("31000500FA02"); // turn 5
    const Case cases[] = {
        {"mt-zero confirmed", QStringLiteral("mt-zero"), quarn::multiturnZeroRequest(),
         withReplies({QByteArray::fromHex("31000000FA02")}), 0, {}},
        {"mt-zero, silent after it", QStringLiteral("mt-zero"), quarn::multiturnZeroRequest(),
         silentAfter(quarn::multiturnZeroRequest()), 5, QStringLiteral("no reply to \"1\" within 300 ms")},
        {"mt-zero, the counter not at 0", QStringLiteral("mt-zero"), quarn::multiturnZeroRequest(), withReplies({wrongTurn}), 5,
         QStringLiteral("the multiturn counter reads 5")},
        {"factory-reset confirmed", QStringLiteral("factory-reset"), quarn::factoryResetRequest(), {}, 0, {}},
        {"factory-reset, silent after it", QStringLiteral("factory-reset"), quarn::factoryResetRequest(),
         silentAfter(quarn::factoryResetRequest()), 5, QStringLiteral("no reply to \"1\" within 300 ms")},
        {"reset-status, a flagged reading after it", QStringLiteral("reset-status"),
         quarn::resetPersistentStatusRequest(), withReplies({flagged}), 5, QStringLiteral("the reading carries the error flag")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const CliResult result = run({c.command}, scriptedEncoder(c.script));
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(record->written().endsWith(c.request + '1'));
        if (c.failure.isEmpty()) {
            EXPECT_TRUE(result.failureLines().isEmpty()) << result.err.toStdString();
            EXPECT_FALSE(result.out.isEmpty());
            continue;
        }
        EXPECT_TRUE(result.out.isEmpty());
        const QStringList lines = result.failureLines();
        ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
        EXPECT_TRUE(lines.first().startsWith(
            QStringLiteral("trevisor-cli: error: \"%1\" was sent, but the encoder did not confirm it: %2")
                .arg(cli::requestName(c.request), c.failure)))
            << lines.first().toStdString();
    }
}

} // namespace
