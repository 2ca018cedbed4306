// SPDX-License-Identifier: MIT
// The debug record with everything drawn from it: chart points, bit markers, the code label and
// the harmonic bars.
//
// Input: byte 0 the code length (its low four bits less 3, so lengths -3 to 12 occur: those
// without a layout too, while the harmonics stay near the real ones); the rest is the reply
// to "D".

#include "fuzz_support.h"

#include "debug_record.h"
#include "harmonics.h"
#include "quarn_konstante.h"

#include <cmath>

namespace {

std::uint8_t byteOr0(const QByteArray &bytes, int index)
{
    return index < bytes.size() ? static_cast<std::uint8_t>(bytes.at(index)) : 0;
}

std::uint16_t wordOr0(const QByteArray &bytes, int index)
{
    return static_cast<std::uint16_t>((byteOr0(bytes, index) << 8) | byteOr0(bytes, index + 1));
}

// One line of the code label: the low `length` bits of `code`, most significant first, each
// digit followed by the spacer.
QString expectedCodeLine(std::uint16_t code, int length, int spacerBlanks)
{
    QString line;
    for (int bit = length - 1; bit >= 0; --bit) {
        line += (bit < 16 && ((code >> bit) & 1u)) ? u'1' : u'0';
        line += QString(spacerBlanks, u' ');
    }
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quarn;
    fuzz::Input input(data, size);
    const int codeLength = (input.byte() & 15) - 3;
    const QByteArray reply = input.rest();
    const QByteArray used = reply.left(DebugRecordLength);

    const DebugRecord record = decodeDebugRecord(reply);
    FUZZ_CHECK(record.headerOk == (!reply.isEmpty() && reply.at(0) == 'D'));
    FUZZ_CHECK(record.complete == (reply.size() >= DebugRecordLength));
    for (int n = 0; n < DebugSampleSlots; ++n) {
        const std::int16_t expected = n < DebugRecordSampleCount ? static_cast<std::int16_t>(wordOr0(used, 2 * n + 1)) : 0;
        FUZZ_CHECK(record.samples[static_cast<std::size_t>(n)] == expected);
    }
    FUZZ_CHECK(record.absPos == ((std::uint32_t{wordOr0(used, 107)} << 16) | wordOr0(used, 109)));
    FUZZ_CHECK(record.decodSelect == byteOr0(used, 113));
    FUZZ_CHECK(record.codeA == wordOr0(used, 114) && record.codeB == wordOr0(used, 116));
    FUZZ_CHECK(record.mcuTemp == wordOr0(used, 120) && record.cycleTime == wordOr0(used, 122));
    FUZZ_CHECK(record.debugStatus == wordOr0(used, 124) && record.vdda == wordOr0(used, 126));
    FUZZ_CHECK(record.resetCnt == byteOr0(used, 128));
    FUZZ_CHECK(record.dcdTrs == 255 && record.dcdWrn == 255);

    const QList<QPointF> points = debugChartPoints(record.samples);
    FUZZ_CHECK(points.size() == DebugRecordSampleCount);
    for (int n = 0; n < points.size(); ++n)
        FUZZ_CHECK(points[n] == QPointF(n + 1, record.samples[static_cast<std::size_t>(n)]));

    // Markers sit on the sample curve, at most one per code bit, never past the last slot.
    const QList<QPointF> markers = debugBitMarkers(record.samples, record.decodSelect, codeLength);
    if (record.decodSelect >= 10 || codeLength <= 0)
        FUZZ_CHECK(markers.isEmpty());
    FUZZ_CHECK(markers.size() <= std::max(codeLength, 0));
    if (codeLength >= 5 && codeLength <= 9 && record.decodSelect < 10)
        FUZZ_CHECK(markers.size() == codeLength);
    for (const QPointF &marker : markers) {
        FUZZ_CHECK(marker.x() >= 1 && marker.x() <= DebugSampleSlots && marker.x() == std::floor(marker.x()));
        FUZZ_CHECK(marker.y() == record.samples[static_cast<std::size_t>(marker.x()) - 1]);
    }

    const CodeLengthLayout layout = codeLengthLayout(codeLength);
    FUZZ_CHECK(layout.sampleStep >= 0 && layout.spacerBlanks >= 0);
    const QString label = debugCodeLabel(record.codeA, record.codeB, codeLength);
    FUZZ_CHECK(label == expectedCodeLine(record.codeA, codeLength, layout.spacerBlanks) + QStringLiteral("\r\n")
                            + expectedCodeLine(record.codeB, codeLength, layout.spacerBlanks));

    // Bars: never negative, the magnitude / 25 rounded, standing on the background's bottom.
    const HarmonicBars bars = analyzeCodeHarmonics(record.samples, codeLength);
    for (std::size_t h = 0; h < 3; ++h) {
        FUZZ_CHECK(bars.harmonics[h] == codeLength - 1 + static_cast<int>(h));
        FUZZ_CHECK(std::isfinite(bars.magnitudes[h]) && bars.magnitudes[h] >= 0.0);
        FUZZ_CHECK(bars.heights[h] >= 0 && bars.heights[h] == harmonicBarHeight(bars.magnitudes[h]));
        const HarmonicBarGeometry bar = harmonicBarGeometry(bars.heights[h]);
        FUZZ_CHECK(bar.height == bars.heights[h]);
        FUZZ_CHECK(bar.top + bar.height == HarmonicBackgroundTop + HarmonicBackgroundHeight);
    }

    return 0;
}
