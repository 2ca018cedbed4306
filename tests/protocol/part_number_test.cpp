// SPDX-License-Identifier: MIT
#include "part_number.h"

#include <gtest/gtest.h>

using namespace quarn;

TEST(PartNumber, ResolutionCodes)
{
    struct Row {
        const char *part;
        int bits; // 0: no resolution
    };
    const Row rows[] = {{"QX105---21M-----", 21}, {"QX105---20M-----", 20}, {"QX105---19M-----", 19},
                        {"QX105---18M-----", 18}, {"QX105---17 -----", 17}, {"QX105---16 -----", 16},
                        {"QX105---22M-----", 0},  {"QX105---1AM-----", 0},  {"QX105---15M-----", 0},
                        {"QX105", 0}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.part);
        const auto resolution = resolutionFromPartNumber(row.part);
        if (row.bits == 0) {
            EXPECT_FALSE(resolution.has_value());
        } else {
            ASSERT_TRUE(resolution.has_value());
            EXPECT_EQ(resolution->bits, row.bits);
            EXPECT_EQ(resolution->countsPerTurn, 1 << row.bits);
        }
    }
}

TEST(PartNumber, TurnTypeIsAnUppercaseMAtCharacterTen)
{
    EXPECT_TRUE(isMultiturnPartNumber("QX108---19M-----"));
    EXPECT_FALSE(isMultiturnPartNumber("QX108---19m-----"));
    EXPECT_FALSE(isMultiturnPartNumber("QX108---19S-----"));
    EXPECT_FALSE(isMultiturnPartNumber("QX108---19"));
}

TEST(PartNumber, RingModelsInTableOrder)
{
    struct Row {
        const char *part;
        float diameter;
        int codeLength;
    };
    const Row rows[] = {{"QX101", 18.3f, 6},     {"QX102", 23.7f, 6},     {"QX103", 33.4f, 7},
                        {"QX104", 42.1f, 7},     {"QX105", 45.8f, 8},     {"QX106", 57.3f, 8},
                        {"QX107", 72.8f, 8},     {"QX108", 109.096f, 9},  {"QX109", 143.398f, 9},
                        {"QY1ABC", 1e9f, 5},     {"QX110", 1e9f, 8},      {"qx101", 1e9f, 8},
                        {"", 1e9f, 8}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.part);
        const RingModel ring = ringModelFromPartNumber(row.part);
        EXPECT_EQ(ring.diameterMm, row.diameter);
        EXPECT_EQ(ring.codeLength, row.codeLength);
    }
}

TEST(PartNumber, AirGapCoefficientsByCodeLength)
{
    EXPECT_EQ(airGapCoefficients(5)->k, -119.36621f);
    EXPECT_EQ(airGapCoefficients(5)->n, 1236.0f);
    EXPECT_EQ(airGapCoefficients(6)->n, 977.1f);
    EXPECT_EQ(airGapCoefficients(7)->k, -83.55634f);
    EXPECT_EQ(airGapCoefficients(8)->n, 682.0f);
    EXPECT_EQ(airGapCoefficients(9)->k, -70.293434f);
    EXPECT_EQ(airGapCoefficients(9)->n, 735.0f);
    EXPECT_FALSE(airGapCoefficients(4).has_value());
    EXPECT_FALSE(airGapCoefficients(10).has_value());
}

TEST(PartNumber, SingleTurnMask)
{
    EXPECT_EQ(singleTurnMask(0), 0u);
    EXPECT_EQ(singleTurnMask(18), 262143u);
    EXPECT_EQ(singleTurnMask(19), 524287u);
    EXPECT_EQ(singleTurnMask(21), 2097151u);
}
