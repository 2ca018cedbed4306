// SPDX-License-Identifier: MIT
#pragma once

// The 129-byte debug record: decoding, the chart's points and bit markers, and the code label.

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>

#include <array>
#include <cstdint>

namespace quarn {

// The record carries 53 samples; four more slots stay 0 so that markers and the harmonic
// analysis may read up to index 56.
inline constexpr int DebugRecordSampleCount = 53;
inline constexpr int DebugSampleSlots = 57;
using DebugSamples = std::array<std::int16_t, DebugSampleSlots>;

struct DebugRecord {
    bool headerOk = false;  // byte 0 is "D"
    bool complete = false;  // all 129 bytes were present; missing bytes decode as 0
    DebugSamples samples{}; // entries 0 to 52 from the record, 53 to 56 always 0
    std::uint32_t absPos = 0;
    std::uint8_t decodSelect = 0;
    std::uint16_t codeA = 0;
    std::uint16_t codeB = 0;
    std::uint16_t mcuTemp = 0;
    std::uint16_t cycleTime = 0;
    std::uint16_t debugStatus = 0;
    std::uint16_t vdda = 0;
    std::uint8_t resetCnt = 0;
    // The record has no decoder threshold or warning level; a reading sets both to 255.
    std::uint16_t dcdTrs = 255;
    std::uint16_t dcdWrn = 255;
};

// Decodes the first 129 bytes of the reply (big-endian fields). A wrong header is flagged, not
// rejected.
DebugRecord decodeDebugRecord(const QByteArray &reply);

// Samples per code bit on the chart and blanks after each digit of the code label.
struct CodeLengthLayout {
    int sampleStep = 0;
    int spacerBlanks = 0;
};
// Code lengths 5 to 9 have a layout; any other gives step 0 and no spacer.
CodeLengthLayout codeLengthLayout(int codeLength);

// The sample curve: x = n + 1, y = sample n, for the 53 recorded samples.
QList<QPointF> debugChartPoints(const DebugSamples &samples);

// One marker per code bit at the sample that decodSelect picks within each bit period; none when
// decodSelect is 10 or more or the code length is not positive. Indexes beyond the last slot
// are skipped.
QList<QPointF> debugBitMarkers(const DebugSamples &samples, int decodSelect, int codeLength, int sampleStep);
// The same with the sample step of the code length's layout.
QList<QPointF> debugBitMarkers(const DebugSamples &samples, int decodSelect, int codeLength);

// The two code words as codeLength binary digits each, every digit followed by the layout's
// spacer, the two lines joined by CR LF.
QString debugCodeLabel(std::uint16_t codeA, std::uint16_t codeB, int codeLength);

} // namespace quarn
