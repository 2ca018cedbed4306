// SPDX-License-Identifier: MIT
#include "harmonics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace quarn;

namespace {

// Entries first..last set to the rounded value of f(i); all others 0.
template <typename F>
DebugSamples samplesFrom(int first, int last, F f)
{
    DebugSamples samples{};
    for (int i = first; i <= last; ++i)
        samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lrint(f(i)));
    return samples;
}

constexpr double Pi = std::numbers::pi;

} // namespace

TEST(HarmonicWindowWeights, FlatMiddleTaperedEndsAndSymmetry)
{
    struct Row {
        int length;
        int firstOne;
        int lastOne;
    };
    const Row rows[] = {{48, 23, 26}, {49, 23, 27}, {54, 25, 30}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.length);
        const int points = row.length + 2;
        for (int i = 1; i <= row.length; ++i) {
            SCOPED_TRACE(i);
            const float weight = HarmonicWindow(i, points, 0.9f);
            if (i >= row.firstOne && i <= row.lastOne)
                EXPECT_EQ(weight, 1.0f);
            else
                EXPECT_LT(weight, 1.0f);
            EXPECT_GT(weight, 0.0f);
            EXPECT_FLOAT_EQ(weight, HarmonicWindow(row.length + 1 - i, points, 0.9f));
        }
        EXPECT_NEAR(HarmonicWindow(0, points, 0.9f), 0.0f, 1e-7f);
        EXPECT_NEAR(HarmonicWindow(points - 1, points, 0.9f), 0.0f, 1e-7f);
    }
    // No taper: a plain rectangle. Half taper on 11 points: 0, 0.5 ramps.
    EXPECT_EQ(HarmonicWindow(0, 50, 0.0f), 1.0f);
    EXPECT_EQ(HarmonicWindow(0, 50, 0.005f), 1.0f);
    EXPECT_FLOAT_EQ(HarmonicWindow(1, 11, 0.5f), 0.5f - 0.5f * std::cos(float(Pi) * 0.4f));
    EXPECT_EQ(HarmonicWindow(5, 11, 0.5f), 1.0f);
    EXPECT_FLOAT_EQ(HarmonicWindow(9, 11, 0.5f), HarmonicWindow(1, 11, 0.5f));
    EXPECT_EQ(HarmonicWindow(3, 1, 0.9f), 1.0f);
}

TEST(HarmonicAnalysis, LengthByCodeLength)
{
    const std::pair<int, int> rows[] = {{9, 54}, {8, 48}, {7, 49}, {6, 48}, {5, 49}, {0, 49}, {12, 49}};
    for (const auto &[code, length] : rows) {
        SCOPED_TRACE(code);
        EXPECT_EQ(harmonicAnalysisLength(code), length);
    }
}

TEST(HarmonicAnalysis, BarHeightRoundsHalvesToEven)
{
    const std::pair<double, int> rows[] = {{0.0, 0},    {312.5, 12}, {337.5, 14}, {37.5, 2},
                                           {62.5, 2},   {12.4, 0},   {12.6, 1},   {1e6, 40000}};
    for (const auto &[magnitude, height] : rows) {
        SCOPED_TRACE(magnitude);
        EXPECT_EQ(harmonicBarHeight(magnitude), height);
    }
}

TEST(HarmonicAnalysis, KnownSignals)
{
    struct Row {
        const char *name;
        int codeLength;
        DebugSamples samples;
        std::array<int, 3> harmonics;
        std::array<int, 3> heights;
    };
    const Row rows[] = {
        {"silence", 8, DebugSamples{}, {7, 8, 9}, {0, 0, 0}},
        {"cosine of 8 periods over 48", 8,
         samplesFrom(1, 48, [](int i) { return 1000 * std::cos(2 * Pi * 8 * (i - 1) / 48); }),
         {7, 8, 9}, {245, 539, 245}},
        {"sine of period 8 over every entry", 6,
         samplesFrom(0, 52, [](int i) { return 200 * std::sin(2 * Pi * i / 8); }),
         {5, 6, 7}, {49, 108, 49}},
        {"length 5 looks at 4, 5 and 6 over 49", 5, DebugSamples{}, {4, 5, 6}, {0, 0, 0}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const HarmonicBars bars = analyzeCodeHarmonics(row.samples, row.codeLength);
        EXPECT_EQ(bars.harmonics, row.harmonics);
        EXPECT_EQ(bars.heights, row.heights);
    }
}

TEST(HarmonicAnalysis, OnlyEntriesOneToNCount)
{
    const auto wave = [](int i) { return 900 * std::cos(2 * Pi * 9 * (i - 1) / 54) + 50; };
    DebugSamples samples = samplesFrom(1, 52, wave);
    const HarmonicBars reference = analyzeCodeHarmonics(samples, 9);
    EXPECT_GT(reference.heights[1], 0);

    samples[0] = 32767; // the record's first sample is never analysed
    EXPECT_EQ(analyzeCodeHarmonics(samples, 9).magnitudes, reference.magnitudes);

    // With N = 48 entries 49 and later are outside the sums.
    DebugSamples tail{};
    for (std::size_t i = 49; i < tail.size(); ++i)
        tail[i] = -32768;
    EXPECT_EQ(analyzeCodeHarmonics(tail, 8).heights, (std::array<int, 3>{0, 0, 0}));
    // With N = 54 entry 54 is inside; the record never fills it, but the sums must read it.
    DebugSamples last{};
    last[54] = 25000;
    EXPECT_GT(analyzeCodeHarmonics(last, 9).magnitudes[0], 0.0);
}

TEST(HarmonicBarPlacement, BottomStaysOnTheBackground)
{
    const std::pair<int, int> rows[] = {{0, 497}, {33, 464}, {370, 127}, {600, -103}};
    for (const auto &[height, top] : rows) {
        SCOPED_TRACE(height);
        const HarmonicBarGeometry bar = harmonicBarGeometry(height);
        EXPECT_EQ(bar.height, height);
        EXPECT_EQ(bar.top, top);
    }
    EXPECT_EQ(harmonicBarGeometry(10, 100, 50).top, 140);
}
