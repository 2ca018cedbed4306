// SPDX-License-Identifier: MIT
// The companion's own small texts: request names in messages, the progress bar, the cycle's
// next step, the CSV row of a reading with the error flag, the lines of --trace.

#include "encoder_link.h"
#include "poll_command.h"
#include "reading_format.h"
#include "selfcal_command.h"
#include "trace_format.h"

#include "quarn_konstante.h"

#include <gtest/gtest.h>

namespace {

TEST(FormattingTest, RequestsAreNamedAsTheWindowsMessagesNameThem)
{
    struct Case {
        QByteArray request;
        const char *name;
    };
    const Case cases[] = {
        {"1", "1"},
        {"i", "i"},
        {quarn::selfCalArcRequest(360), "Unlock + p"},
        {quarn::zeroOffsetRequest(5), "Unlock + Z"},
        // The debug-entry code is not a letter: shown in hexadecimal.
        {quarn::debugEntryRequest(), "Unlock + A5"},
        {quarn::UnlockPrefix, "^"}, // the prefix alone is no protected request
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cli::requestName(c.request), QLatin1String(c.name));
    }
}

TEST(FormattingTest, TraceLinesGiveTimePortRateDirectionAndTheBytesInHexadecimal)
{
    using cli::TraceDirection;
    struct Case {
        qint64 elapsedUs;
        TraceDirection direction;
        QByteArray bytes;
        QString note;
        const char *line;
    };
    const Case cases[] = {
        {12345, TraceDirection::Sent, "1", {}, "trace     12.345 ms /dev/ttyUSB0 115200 > 31"},
        // Leading zeros of the microseconds stay; every byte keeps two digits.
        {7, TraceDirection::Received, QByteArray("\x31\x00\xff\x0a", 4), {},
         "trace      0.007 ms /dev/ttyUSB0 115200 < 31 00 FF 0A"},
        {3723004001, TraceDirection::Received, "1\x02", QStringLiteral("2 of 5 bytes within the reply window"),
         "trace 3723004.001 ms /dev/ttyUSB0 115200 < 31 02 (2 of 5 bytes within the reply window)"},
        {300000, TraceDirection::Received, {}, QStringLiteral("nothing"), "trace    300.000 ms /dev/ttyUSB0 115200 < (nothing)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(cli::traceLine(c.elapsedUs, QStringLiteral("/dev/ttyUSB0"), 115200, c.direction, c.bytes, c.note),
                  QLatin1String(c.line));
    }

    using serial::TransactionResult;
    EXPECT_EQ(cli::replyTraceNote(TransactionResult::Complete, 12, 12), QString());
    EXPECT_EQ(cli::replyTraceNote(TransactionResult::Incomplete, 0, 12),
              QStringLiteral("nothing within the reply window, 12 bytes awaited"));
    EXPECT_EQ(cli::replyTraceNote(TransactionResult::Incomplete, 3, 12),
              QStringLiteral("3 of 12 bytes within the reply window"));
    EXPECT_EQ(cli::replyTraceNote(TransactionResult::WriteFailed, 0, 12),
              QStringLiteral("the request could not be written; no reply awaited"));
    EXPECT_EQ(cli::replyTraceNote(TransactionResult::NoPort, 0, 12), QStringLiteral("not sent: the port is closed"));
}

TEST(FormattingTest, ProgressBarFillsWithThePositionAndStopsFull)
{
    struct Case {
        int position;
        int maximum;
        const char *bar;
    };
    const Case cases[] = {
        {0, 100, "[                              ]  0.0 s of 10.0 s"},
        {50, 100, "[###############               ]  5.0 s of 10.0 s"},
        {111, 100, "[##############################] 11.1 s of 10.0 s"},
        {42, 400, "[###                           ]  4.2 s of 40.0 s"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bar);
        EXPECT_EQ(cli::selfCalProgressBar(c.position, c.maximum), QLatin1String(c.bar));
    }
}

TEST(FormattingTest, TheCyclePassesOverTheStepTheFirmwareLacks)
{
    const int withJ[] = {2, 3, 4, 5, 6, 7, 1};
    const int withoutJ[] = {2, 3, 5, 5, 6, 7, 1};
    for (int index = 1; index <= 7; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(cli::nextActivePollIndex(index, 9), withJ[index - 1]);
        if (index != 4) { // "j" itself is never reached without it
            EXPECT_EQ(cli::nextActivePollIndex(index, 8), withoutJ[index - 1]);
        }
    }
    EXPECT_EQ(cli::pollIndexOfCommand(QStringLiteral("a")), 7);
    EXPECT_FALSE(cli::pollIndexOfCommand(QStringLiteral("v")));
}

quarn::EncoderIdentity singleTurn18()
{
    quarn::EncoderIdentity identity;
    identity.resolution = {18, 262144};
    identity.singleTurnMask = quarn::singleTurnMask(18);
    return identity;
}

TEST(FormattingTest, AReadingWithTheErrorFlagKeepsItsFlagAndHasNoNumbers)
{
    const quarn::EncoderIdentity identity = singleTurn18();
    // "s" with the error bit clear and a speed of -2.
    const QByteArray reply = QByteArray::fromHex("73123454FFFFFE");
    const quarn::PollReading reading = quarn::decodePollReading(reply, 5, identity);
    ASSERT_TRUE(reading.position.error);

    EXPECT_EQ(cli::pollReadingText(reading, 40),
              QStringLiteral("40 ms  s  counts -  -  -  -  -  angle -  -  -  -  -  turns -  -  -  -  -  ERROR  "
                             "Speed: - - - - -"));
    // Empty fields, never zeros; no separator at the end.
    EXPECT_EQ(cli::pollCsvRow(reading, 40, reply, QStringLiteral("T")), QStringLiteral("T;40;s;73123454FFFFFE;;;;1;;;;;;;"));
    const QJsonObject json = cli::pollReadingJson(reading, 40, reply);
    EXPECT_TRUE(json[u"error"].toBool());
    for (const char *key : {"counts", "degrees", "turns", "speedRaw"})
        EXPECT_TRUE(json[QLatin1String(key)].isNull()) << key;
    EXPECT_TRUE(json.contains(u"counts"));
}

TEST(FormattingTest, EveryPollLineHasTheSameKeysAndTheCsvItsColumns)
{
    const quarn::EncoderIdentity identity = singleTurn18();
    const QByteArray good = QByteArray::fromHex("73123456000010");
    const quarn::PollReading speed = quarn::decodePollReading(good, 5, identity);
    const quarn::PollReading position = quarn::decodePollReading(QByteArray::fromHex("31123456"), 1, identity);
    const QJsonObject fault = cli::pollFaultJson('t', 7, QByteArray::fromHex("74"), QStringLiteral("incomplete reply"));
    const QStringList keys = cli::pollReadingJson(speed, 5, good).keys();
    EXPECT_EQ(cli::pollReadingJson(position, 6, good).keys(), keys);
    EXPECT_EQ(fault.keys(), keys);
    for (const char *key : {"counts", "degrees", "turns", "error", "speedRaw", "temperatureC"})
        EXPECT_TRUE(fault[QLatin1String(key)].isNull()) << key;
    EXPECT_EQ(fault[u"fault"].toString(), QStringLiteral("incomplete reply"));
    EXPECT_EQ(fault[u"event"].toString(), QStringLiteral("reading"));

    const QStringList columns = cli::pollCsvHeader().split(u';');
    EXPECT_FALSE(cli::pollCsvHeader().endsWith(u';'));
    const QString row = cli::pollCsvRow(speed, 5, good, QStringLiteral("2026-01-02T03:04:05.678Z"));
    EXPECT_EQ(row.split(u';').size(), columns.size());
    EXPECT_EQ(cli::pollFaultCsvRow('t', 7, {}, QStringLiteral("no reply; none"), QStringLiteral("T")).split(u';').size(),
              columns.size());
    // The angle with the window's two decimals.
    EXPECT_EQ(row.split(u';').at(columns.indexOf(QStringLiteral("Angle(deg)"))), QStringLiteral("25.60"));
    EXPECT_EQ(row.split(u';').at(columns.indexOf(QStringLiteral("Speed(raw)"))), QStringLiteral("16"));
}

} // namespace
