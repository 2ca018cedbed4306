// SPDX-License-Identifier: MIT
// The companion's own small texts: request names in messages, the progress bar, the cycle's
// next step, the CSV row of a reading with the error flag.

#include "encoder_link.h"
#include "poll_command.h"
#include "reading_format.h"
#include "selfcal_command.h"

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
