// SPDX-License-Identifier: MIT
#include "debug_record.h"

#include <gtest/gtest.h>

using namespace quarn;

namespace {

void putWord(QByteArray &bytes, int at, std::uint16_t value)
{
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
}

// A record whose sample n is 10 × n - 100 and whose fields all differ.
QByteArray sampleRecord()
{
    QByteArray bytes(129, '\0');
    bytes[0] = 'D';
    for (int n = 0; n < 53; ++n)
        putWord(bytes, 2 * n + 1, static_cast<std::uint16_t>(10 * n - 100));
    putWord(bytes, 107, 0x8123);
    putWord(bytes, 109, 0x4567);
    putWord(bytes, 111, 0xEEEE); // not used
    bytes[113] = 3;
    putWord(bytes, 114, 45);
    putWord(bytes, 116, 0xFFFF);
    putWord(bytes, 118, 0xEEEE); // not used
    putWord(bytes, 120, 3100);
    putWord(bytes, 122, 0xABCD);
    putWord(bytes, 124, 0x8001);
    putWord(bytes, 126, 3300);
    bytes[128] = static_cast<char>(200);
    return bytes;
}

DebugSamples countingSamples()
{
    DebugSamples samples{};
    for (int n = 0; n < 53; ++n)
        samples[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(100 + n);
    return samples;
}

QList<qreal> xs(const QList<QPointF> &points)
{
    QList<qreal> result;
    for (const QPointF &point : points)
        result.append(point.x());
    return result;
}

} // namespace

TEST(DebugRecordDecoding, EveryFieldAtItsPlace)
{
    const DebugRecord record = decodeDebugRecord(sampleRecord());
    EXPECT_TRUE(record.headerOk);
    EXPECT_TRUE(record.complete);
    for (int n = 0; n < 53; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(record.samples[static_cast<std::size_t>(n)], 10 * n - 100);
    }
    for (int n = 53; n < 57; ++n)
        EXPECT_EQ(record.samples[static_cast<std::size_t>(n)], 0);
    EXPECT_EQ(record.absPos, 0x81234567u);
    EXPECT_EQ(record.decodSelect, 3);
    EXPECT_EQ(record.codeA, 45);
    EXPECT_EQ(record.codeB, 0xFFFF);
    EXPECT_EQ(record.mcuTemp, 3100);
    EXPECT_EQ(record.cycleTime, 0xABCD);
    EXPECT_EQ(record.debugStatus, 0x8001);
    EXPECT_EQ(record.vdda, 3300);
    EXPECT_EQ(record.resetCnt, 200);
    EXPECT_EQ(record.dcdTrs, 255);
    EXPECT_EQ(record.dcdWrn, 255);
}

TEST(DebugRecordDecoding, SignedSamplesWrongHeaderAndLength)
{
    QByteArray bytes = sampleRecord();
    bytes[1] = static_cast<char>(0xFF);
    bytes[2] = static_cast<char>(0x38);
    bytes[105] = static_cast<char>(0x80);
    bytes[106] = 0;
    EXPECT_EQ(decodeDebugRecord(bytes).samples[0], -200);
    EXPECT_EQ(decodeDebugRecord(bytes).samples[52], -32768);

    // Bytes after the 129th are ignored.
    const DebugRecord longer = decodeDebugRecord(bytes + QByteArray(20, '\x7F'));
    EXPECT_TRUE(longer.complete);
    EXPECT_EQ(longer.resetCnt, 200);
    EXPECT_EQ(longer.samples[53], 0);

    // A wrong header is flagged, the rest still decoded.
    bytes[0] = 'd';
    const DebugRecord wrongHeader = decodeDebugRecord(bytes);
    EXPECT_FALSE(wrongHeader.headerOk);
    EXPECT_EQ(wrongHeader.samples[0], -200);
    EXPECT_EQ(wrongHeader.codeA, 45);

    // A short reply never reads past its end: missing fields are 0.
    const DebugRecord shortReply = decodeDebugRecord(sampleRecord().left(115));
    EXPECT_FALSE(shortReply.complete);
    EXPECT_TRUE(shortReply.headerOk);
    EXPECT_EQ(shortReply.decodSelect, 3);
    EXPECT_EQ(shortReply.codeA, 0); // byte 115 missing
    EXPECT_EQ(shortReply.resetCnt, 0);
    EXPECT_FALSE(decodeDebugRecord({}).headerOk);
}

TEST(DebugRecordLayout, StepAndSpacerByCodeLength)
{
    struct Row {
        int length;
        int step;
        int spacer;
    };
    const Row rows[] = {{5, 10, 13}, {6, 8, 11}, {7, 7, 10}, {8, 6, 9},
                        {9, 6, 8},   {4, 0, 0},  {10, 0, 0}, {0, 0, 0}, {-1, 0, 0}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.length);
        EXPECT_EQ(codeLengthLayout(row.length).sampleStep, row.step);
        EXPECT_EQ(codeLengthLayout(row.length).spacerBlanks, row.spacer);
    }
}

TEST(DebugChart, FiftyThreePointsFromOne)
{
    const QList<QPointF> points = debugChartPoints(countingSamples());
    ASSERT_EQ(points.size(), 53);
    EXPECT_EQ(points.first(), QPointF(1, 100));
    EXPECT_EQ(points.last(), QPointF(53, 152));
}

TEST(DebugChart, BitMarkers)
{
    const DebugSamples samples = countingSamples();
    struct Row {
        const char *name;
        int decodSelect;
        int length;
        QList<qreal> x;
    };
    const Row rows[] = {
        {"select 0 raised to the first sample", 0, 5, {1, 10, 20, 30, 40}},
        {"select 9, length 9, up to slot 56", 9, 9, {9, 15, 21, 27, 33, 39, 45, 51, 57}},
        {"select 1, length 8", 1, 8, {1, 7, 13, 19, 25, 31, 37, 43}},
        {"select 10", 10, 8, {}},
        {"select 255", 255, 8, {}},
        {"length 0", 3, 0, {}},
        {"unknown length: step 0", 4, 3, {4, 4, 4}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(xs(debugBitMarkers(samples, row.decodSelect, row.length)), row.x);
    }

    const QList<QPointF> longest = debugBitMarkers(samples, 9, 9);
    ASSERT_EQ(longest.size(), 9);
    EXPECT_EQ(longest[7], QPointF(51, 150));
    EXPECT_EQ(longest[8], QPointF(57, 0)); // the record has no sample there
    EXPECT_EQ(debugBitMarkers(samples, 0, 5).first(), QPointF(1, 100));
}

TEST(DebugChart, MarkersNeverLeaveTheSampleSlots)
{
    const DebugSamples samples = countingSamples();
    // Odd steps or lengths: indexes past slot 56 are dropped, negative ones raised to 0.
    EXPECT_EQ(xs(debugBitMarkers(samples, 9, 9, 8)), (QList<qreal>{9, 17, 25, 33, 41, 49, 57}));
    EXPECT_EQ(xs(debugBitMarkers(samples, 5, 3, -4)), (QList<qreal>{5, 1, 1}));
    EXPECT_EQ(debugBitMarkers(samples, 0, 1'000'000, 1).size(), 57);
    EXPECT_TRUE(debugBitMarkers(samples, 0, 3, 1'000'000'000).size() == 1);
}

TEST(DebugCodeLabel, DigitsWithSpacersOnTwoLines)
{
    const QString eleven(11, QLatin1Char(' '));
    QString first;
    for (const char digit : {'1', '0', '1', '1', '0', '1'})
        first += QLatin1Char(digit) + eleven;
    QString second;
    for (int i = 0; i < 6; ++i)
        second += QLatin1Char('1') + eleven;
    // 0xFFFF is wider than six bits: only the low six show.
    EXPECT_EQ(debugCodeLabel(45, 0xFFFF, 6), first + QStringLiteral("\r\n") + second);

    EXPECT_EQ(debugCodeLabel(13, 2, 5).split(QStringLiteral("\r\n")).first(),
              QStringLiteral("0             1             1             0             1             "));
    EXPECT_EQ(debugCodeLabel(5, 1, 3), QStringLiteral("101\r\n001"));
    EXPECT_EQ(debugCodeLabel(5, 1, 0), QStringLiteral("\r\n"));
}
