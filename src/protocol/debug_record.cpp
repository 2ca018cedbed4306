// SPDX-License-Identifier: MIT
#include "debug_record.h"

#include "orodja.h"
#include "quarn_konstante.h"

#include <algorithm>

namespace quarn {

namespace {

std::uint8_t byteAt(const QByteArray &bytes, qsizetype index)
{
    return index < bytes.size() ? static_cast<std::uint8_t>(bytes.at(index)) : std::uint8_t{0};
}

std::uint16_t wordAt(const QByteArray &bytes, qsizetype index)
{
    return static_cast<std::uint16_t>((byteAt(bytes, index) << 8) | byteAt(bytes, index + 1));
}

std::uint32_t longAt(const QByteArray &bytes, qsizetype index)
{
    return (std::uint32_t{wordAt(bytes, index)} << 16) | wordAt(bytes, index + 2);
}

QString codeLine(std::uint16_t code, int codeLength, const QString &spacer)
{
    QString line;
    for (const char digit : orodja::IntToBin(codeLength, code)) {
        line += QLatin1Char(digit);
        line += spacer;
    }
    return line;
}

} // namespace

DebugRecord decodeDebugRecord(const QByteArray &reply)
{
    const QByteArray bytes = reply.left(DebugRecordLength);
    DebugRecord record;
    record.headerOk = byteAt(bytes, 0) == static_cast<std::uint8_t>(cmd::DebugRead);
    record.complete = bytes.size() == DebugRecordLength;
    for (int n = 0; n < DebugRecordSampleCount; ++n)
        record.samples[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(wordAt(bytes, 2 * n + 1));
    record.absPos = longAt(bytes, 107);
    record.decodSelect = byteAt(bytes, 113);
    record.codeA = wordAt(bytes, 114);
    record.codeB = wordAt(bytes, 116);
    record.mcuTemp = wordAt(bytes, 120);
    record.cycleTime = wordAt(bytes, 122);
    record.debugStatus = wordAt(bytes, 124);
    record.vdda = wordAt(bytes, 126);
    record.resetCnt = byteAt(bytes, 128);
    return record;
}

CodeLengthLayout codeLengthLayout(int codeLength)
{
    switch (codeLength) {
    case 5: return {10, 13};
    case 6: return {8, 11};
    case 7: return {7, 10};
    case 8: return {6, 9};
    case 9: return {6, 8};
    default: return {};
    }
}

QList<QPointF> debugChartPoints(const DebugSamples &samples)
{
    QList<QPointF> points;
    points.reserve(DebugRecordSampleCount);
    for (int n = 0; n < DebugRecordSampleCount; ++n)
        points.append(QPointF(n + 1, samples[static_cast<std::size_t>(n)]));
    return points;
}

QList<QPointF> debugBitMarkers(const DebugSamples &samples, int decodSelect, int codeLength, int sampleStep)
{
    QList<QPointF> markers;
    if (decodSelect >= 10 || codeLength <= 0)
        return markers;
    // More markers than sample slots could only repeat points already drawn.
    const int bits = std::min(codeLength, DebugSampleSlots);
    for (int j = 1; j <= bits; ++j) {
        const qint64 index = std::max<qint64>(0, qint64{j - 1} * sampleStep + decodSelect - 1);
        if (index >= DebugSampleSlots)
            continue;
        markers.append(QPointF(static_cast<qreal>(index + 1), samples[static_cast<std::size_t>(index)]));
    }
    return markers;
}

QList<QPointF> debugBitMarkers(const DebugSamples &samples, int decodSelect, int codeLength)
{
    return debugBitMarkers(samples, decodSelect, codeLength, codeLengthLayout(codeLength).sampleStep);
}

QString debugCodeLabel(std::uint16_t codeA, std::uint16_t codeB, int codeLength)
{
    const QString spacer(codeLengthLayout(codeLength).spacerBlanks, QLatin1Char(' '));
    return codeLine(codeA, codeLength, spacer) + QStringLiteral("\r\n") + codeLine(codeB, codeLength, spacer);
}

} // namespace quarn
