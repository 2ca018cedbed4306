// SPDX-License-Identifier: MIT
// Which readings may decide a write (the position a zero is set to) and which confirm one.

#include "write_confirmation.h"

#include "test_identity.h"

#include <gtest/gtest.h>

namespace {

using testing_identity::identity;

TEST(UsablePosition, OnlyAWholeReplyWithItsEchoAndNoErrorFlag)
{
    struct Case {
        const char *what;
        int index;
        const char *hex;
        bool multiturn;
        std::optional<std::int32_t> counts;
    };
    // 18 bits: the word 12 34 56 holds 18641 counts, bit 1 set (no error).
    const Case cases[] = {
        {"good \"1\", single-turn", 1, "31123456", false, 18641},
        {"good \"1\", multiturn", 1, "3100FE123456", true, 18641},
        {"good \"3\", which has no echo", 2, "123456", false, 18641},
        {"good \"a\", position and level", 7, "61123456069A", false, 18641},
        {"wrong echo", 1, "32123456", false, std::nullopt},
        {"echo of another poll command", 1, "33123456", false, std::nullopt},
        {"error flag", 1, "31123454", false, std::nullopt},
        {"truncated", 1, "311234", false, std::nullopt},
        {"a byte too many", 1, "3112345600", false, std::nullopt},
        {"single-turn length on a multiturn encoder", 1, "31123456", true, std::nullopt},
        {"empty", 1, "", false, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const auto position =
            quarn::usablePosition(QByteArray::fromHex(c.hex), c.index, identity(c.multiturn, 18));
        ASSERT_EQ(position.has_value(), c.counts.has_value());
        if (position) {
            EXPECT_EQ(position->singleTurn, *c.counts);
        }
    }
}

TEST(CountsFromZero, SignedAlongTheTurn)
{
    EXPECT_EQ(quarn::countsFromZero(0, 1000), 0);
    EXPECT_EQ(quarn::countsFromZero(10, 1000), 10);
    EXPECT_EQ(quarn::countsFromZero(990, 1000), -10);
    EXPECT_EQ(quarn::countsFromZero(500, 1000), 500);
    EXPECT_EQ(quarn::countsFromZero(501, 1000), -499);
    EXPECT_EQ(quarn::countsFromZero(-10, 1000), -10);
    EXPECT_EQ(quarn::countsFromZero(2010, 1000), 10);
    EXPECT_EQ(quarn::countsFromZero(5, 0), 0);
}

TEST(ZeroConfirmed, ReadingsWhereASteadyTurnFromZeroLeads)
{
    constexpr std::int32_t turn = 262144; // 18 bits; the noise margin is 256 counts
    struct Case {
        const char *what;
        quarn::CountsAt afterZero;
        quarn::CountsAt closing;
        bool confirmed;
    };
    const Case cases[] = {
        {"standing at 0", {0, 200}, {0, 600}, true},
        {"standing, a little noise", {3, 200}, {turn - 4, 600}, true},
        {"turning forward, 5 counts a ms", {1000, 200}, {3000, 600}, true},
        {"turning backward, 5 counts a ms", {turn - 1000, 200}, {turn - 3000, 600}, true},
        {"turning, the closing reading 40 ms late", {1000, 200}, {3200, 600}, true},
        {"the zero not taken, standing at 1000", {1000, 200}, {1000, 600}, false},
        {"the zero not taken, standing half a turn off", {turn / 2, 200}, {turn / 2, 600}, false},
        {"turning too fast to tell, a seventh of a turn in 200 ms", {turn / 7, 200}, {3 * turn / 7, 600}, false},
        {"a wrong zero, the shaft standing", {0, 200}, {200780, 600}, false},
        {"a jump after the zero", {10, 200}, {20000, 600}, false},
        {"no time between the zero and its check", {0, 0}, {0, 600}, false},
        {"the closing reading before the other", {0, 600}, {0, 200}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(quarn::zeroConfirmed(turn, c.afterZero, c.closing), c.confirmed);
    }
}

TEST(MultiturnZeroConfirmed, TheCounterAtZeroOrJustPastTheEdge)
{
    EXPECT_TRUE(quarn::multiturnZeroConfirmed(0));
    EXPECT_TRUE(quarn::multiturnZeroConfirmed(-1));
    EXPECT_TRUE(quarn::multiturnZeroConfirmed(1));
    EXPECT_FALSE(quarn::multiturnZeroConfirmed(2));
    EXPECT_FALSE(quarn::multiturnZeroConfirmed(-32768));
}

} // namespace
