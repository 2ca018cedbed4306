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

TEST(FormattingTest, AReadingWithTheErrorFlagShowsDashesAndNoSpeed)
{
    quarn::EncoderIdentity identity;
    identity.resolution = {18, 262144};
    identity.singleTurnMask = quarn::singleTurnMask(18);
    // "s" with the error bit clear and a speed of -2.
    const QByteArray reply = QByteArray::fromHex("73123454FFFFFE");
    const quarn::PollReading reading = quarn::decodePollReading(reply, 5, identity);
    ASSERT_TRUE(reading.position.error);

    EXPECT_EQ(cli::pollReadingText(reading, 40),
              QStringLiteral("40 ms  s  counts -  -  -  -  -  angle -  -  -  -  -  turns -  -  -  -  -  ERROR  "
                             "Speed: - - - - -"));
    EXPECT_EQ(cli::pollCsvRow(reading, 40, reply), QStringLiteral("40;s;73123454FFFFFE;0;18641;25.599517822265625;1;;;;;;;"));
    const QJsonObject json = cli::pollReadingJson(reading, 40, reply);
    EXPECT_TRUE(json[u"error"].toBool());
    EXPECT_TRUE(json[u"speed"].isNull());
    EXPECT_EQ(json[u"counts"].toInt(), 18641);
}

} // namespace
