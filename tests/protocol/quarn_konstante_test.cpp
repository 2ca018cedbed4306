// SPDX-License-Identifier: MIT
#include "quarn_konstante.h"

#include <gtest/gtest.h>

using namespace quarn;

TEST(PollTables, CommandsAndLengthsByIndex)
{
    struct Row {
        int index;
        char command;
        int singleTurn;
        int multiturn;
    };
    const Row rows[] = {{1, '1', 4, 6}, {2, '3', 3, 5}, {3, 'd', 6, 8}, {4, 'j', 6, 8},
                        {5, 's', 7, 9}, {6, 't', 5, 7}, {7, 'a', 6, 8}, {8, 'v', 42, 42}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.index);
        EXPECT_EQ(pollCommand(row.index), row.command);
        EXPECT_EQ(PollReplyLengths[0][row.index], row.singleTurn);
        EXPECT_EQ(PollReplyLengths[1][row.index], row.multiturn);
        EXPECT_EQ(pollReplyLength(0, row.index), row.singleTurn);
        EXPECT_EQ(pollReplyLength(1, row.index), row.multiturn);
    }
}

TEST(PollTables, PollCommandsAreTheCycleOnly)
{
    for (char command : {'1', '3', 'd', 'j', 's', 't', 'a'})
        EXPECT_TRUE(isPollCommand(command)) << command;
    for (char command : {'v', 'i', 'G', 'D', 'M', '\0', '2'})
        EXPECT_FALSE(isPollCommand(command)) << command;
}

TEST(PollTables, IndexOutsideTheTableCountsAsOne)
{
    for (int index : {0, -1, 9, 255}) {
        EXPECT_EQ(pollCommand(index), '1');
        EXPECT_EQ(pollReplyLength(1, index), 6);
    }
}

TEST(Requests, FixedAndAssembledBytes)
{
    struct Row {
        const char *name;
        QByteArray request;
        const char *hex;
    };
    const Row rows[] = {
        {"zero template", zeroOffsetTemplate(), "5e1ac3775a00000002"},
        {"zero 123456", zeroOffsetRequest(123456), "5e1ac3775a0001e240"},
        {"zero -1", zeroOffsetRequest(-1), "5e1ac3775affffffff"},
        {"multiturn zero", multiturnZeroRequest(), "5e1ac3774d00000000"},
        {"save", saveRequest(), "5e1ac37763"},
        {"factory reset", factoryResetRequest(), "5e1ac37772"},
        {"reset persistent", resetPersistentStatusRequest(), "5e1ac37762"},
        {"arc 360", selfCalArcRequest(360), "5e1ac377700168"},
        {"arc 180", selfCalArcRequest(180), "5e1ac3777000b4"},
        {"arc 200", selfCalArcRequest(200), "5e1ac3777000c8"},
        {"arc 300", selfCalArcRequest(300), "5e1ac37770012c"},
        {"timeout 40", selfCalTimeoutRequest(40), "5e1ac3777428"},
        {"start", selfCalStartRequest(), "5e1ac37741"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.request.toHex(), QByteArray(row.hex));
        EXPECT_TRUE(row.request.startsWith(UnlockPrefix));
    }
}

TEST(Requests, DebugEntryIsPrefixAndOneNonLetterByte)
{
    const QByteArray request = debugEntryRequest();
    ASSERT_EQ(request.size(), 5);
    EXPECT_TRUE(request.startsWith(UnlockPrefix));
    const auto code = static_cast<unsigned char>(request.at(4));
    EXPECT_FALSE((code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z'));
}
