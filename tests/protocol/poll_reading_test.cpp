// SPDX-License-Identifier: MIT
// A whole poll reply: the position and exactly the quantity its command carries.

#include "poll_reading.h"

#include "test_identity.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using testing_identity::identity;

TEST(PollReadingTest, EachCommandYieldsItsOwnQuantityOnly)
{
    struct Case {
        int index;
        const char *hex;
        bool multiturn;
        std::int32_t singleTurn;
        std::int16_t turns;
        std::optional<std::uint16_t> status, persistent;
        std::optional<std::int32_t> speed;
        std::optional<std::int8_t> temperature;
        std::optional<std::uint16_t> level;
    };
    const Case cases[] = {
        {1, "31123456", false, 18641, 0, {}, {}, {}, {}, {}},
        {2, "FFFE800002", true, 131072, -2, {}, {}, {}, {}, {}},
        {3, "640000020240", false, 0, 0, 0x0240, {}, {}, {}, {}},
        {4, "6A0003000002FFFF", true, 0, 3, {}, 0xFFFF, {}, {}, {}},
        {5, "73000002FFFFFE", false, 0, 0, {}, {}, -2, {}, {}},
        {6, "740000000002F6", true, 0, 0, {}, {}, {}, -10, {}},
        {7, "610000020000", false, 0, 0, {}, {}, {}, {}, 0},
        {9, "31000006", false, 0, 0, {}, {}, {}, {}, {}}, // an index outside the cycle counts as 1
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hex);
        const auto reading = quarn::decodePollReading(QByteArray::fromHex(c.hex), c.index,
                                                      identity(c.multiturn, 18));
        EXPECT_EQ(reading.index, c.index == 9 ? 1 : c.index);
        EXPECT_EQ(reading.position.singleTurn, c.singleTurn);
        EXPECT_EQ(reading.position.multiTurn, c.turns);
        EXPECT_FALSE(reading.position.error);
        EXPECT_EQ(reading.status, c.status);
        EXPECT_EQ(reading.persistentStatus, c.persistent);
        EXPECT_EQ(reading.speed, c.speed);
        EXPECT_EQ(reading.temperature, c.temperature);
        EXPECT_EQ(reading.signalLevel, c.level);
        EXPECT_EQ(reading.airGapMicrometres.has_value(), c.level.has_value());
    }
}

TEST(PollReadingTest, AirGapTakesALevelOfZeroAsOneAndAShortReplyLeavesTheQuantityOut)
{
    const auto zero = quarn::decodePollReading(QByteArray::fromHex("610000020000"), 7, identity(false, 18));
    ASSERT_TRUE(zero.airGapMicrometres);
    EXPECT_DOUBLE_EQ(*zero.airGapMicrometres, 682.0);

    const auto level = quarn::decodePollReading(QByteArray::fromHex("610000020100"), 7, identity(false, 18));
    ASSERT_TRUE(level.airGapMicrometres);
    EXPECT_NEAR(*level.airGapMicrometres, -71.61973 * std::log(256.0) + 682.0, 1e-3);

    const auto cut = quarn::decodePollReading(QByteArray::fromHex("7300000200"), 5, identity(false, 18));
    EXPECT_FALSE(cut.speed);
    EXPECT_FALSE(cut.airGapMicrometres);
}

} // namespace
