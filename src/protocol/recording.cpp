// SPDX-License-Identifier: MIT
#include "recording.h"

#include "orodja.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTime>

#include <cmath>

namespace quarn {

namespace {

constexpr int RecordedSampleCount = 56;

bool unsafeInFileName(QChar c)
{
    const char16_t code = c.unicode();
    // C0 and C1 control characters, DEL, separators and what Windows refuses in names.
    return code < 32 || (code >= 127 && code < 160) || QStringView(u"/\\:*?\"<>|").contains(c);
}

QString replaceUnsafe(QString text)
{
    for (QChar &c : text) {
        if (unsafeInFileName(c))
            c = QLatin1Char('_');
    }
    return text;
}

void appendField(QByteArray &line, const QByteArray &field)
{
    line += field;
    line += ';';
}

template <typename Number>
void appendNumber(QByteArray &line, Number value)
{
    appendField(line, QByteArray::number(value));
}

} // namespace

QString recordingTimestamp(const QDateTime &local)
{
    // The date-time text ends in a blank except at exactly midnight; removing blanks gives the
    // same 14 digits either way.
    QString text = QLocale::c().toString(local, u"yyyyMMddHHmmss");
    if (local.time() != QTime(0, 0))
        text += QLatin1Char(' ');
    return orodja::RemoveSpaces(text);
}

QString sanitisedFileNamePart(const QByteArray &text)
{
    QString part = replaceUnsafe(QString::fromLatin1(text));
    if (part == QStringLiteral(".") || part == QStringLiteral(".."))
        part.fill(QLatin1Char('_'));
    return part;
}

QString recordingFileName(const QByteArray &partNumber, const QByteArray &serialNumber,
                          const QString &timestamp)
{
    return QStringLiteral("TEST_") + sanitisedFileNamePart(partNumber) + QLatin1Char('_')
           + sanitisedFileNamePart(serialNumber) + QLatin1Char('_') + replaceUnsafe(timestamp)
           + QStringLiteral(".csv");
}

QString recordingFilePath(const QString &directory, const QByteArray &partNumber,
                          const QByteArray &serialNumber, const QString &timestamp)
{
    return QDir(directory).filePath(recordingFileName(partNumber, serialNumber, timestamp));
}

bool pathExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString firstFreePath(const QString &wanted, const PathTaken &taken)
{
    if (!taken(wanted))
        return wanted;
    const qsizetype nameStart = wanted.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = wanted.lastIndexOf(QLatin1Char('.'));
    const qsizetype insertAt = dot > nameStart ? dot : wanted.size();
    for (int counter = 2; counter <= LastFreeNameCounter; ++counter) {
        QString candidate = wanted;
        candidate.insert(insertAt, QLatin1Char('-') + QString::number(counter));
        if (!taken(candidate))
            return candidate;
    }
    return wanted;
}

NewRecordingFile createNewRecordingFile(const QString &wanted, const RecordingFileFactory &create,
                                        const PathTaken &taken)
{
    NewRecordingFile result;
    for (int attempt = 0; attempt < RecordingCreateAttempts; ++attempt) {
        result.path = firstFreePath(wanted, taken);
        std::unique_ptr<QIODevice> device = create(result.path);
        if (device->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            result.device = std::move(device);
            result.error.clear();
            return result;
        }
        result.error = device->errorString();
        // Only a name taken since the check is worth another try.
        if (!taken(result.path))
            break;
    }
    return result;
}

QByteArray recordingHeaderLine()
{
    QByteArray line("Time(ms);RX;MT;ST;Error;Status;Supply;Signal;Temperature;CodeA;CodeB;ResetCnt;"
                    "CycleTime(clks);DecodSelect;AbsPos;McuTemp;Vdda;DcdTrs;DcdWrn;");
    for (int i = 1; i <= RecordedSampleCount; ++i)
        appendField(line, "MIS" + QByteArray::number(i));
    return line;
}

QByteArray recordingRow(const RecordingRowInput &in)
{
    const DebugRecord &debug = in.debug;
    QByteArray line;
    line.reserve(512);
    appendNumber(line, in.elapsedMs);
    appendField(line, in.rxBufferHex);
    appendNumber(line, in.mtValue);
    appendNumber(line, in.stValue);
    appendField(line, "xx");
    appendField(line, orodja::IntToBin(16, debug.debugStatus));
    appendField(line, "0");
    appendNumber(line, in.signalLevel);
    appendNumber(line, in.temperature);
    appendField(line, orodja::IntToBin(9, debug.codeA));
    appendField(line, orodja::IntToBin(9, debug.codeB));
    appendNumber(line, debug.resetCnt);
    appendNumber(line, debug.cycleTime);
    appendNumber(line, debug.decodSelect);
    appendNumber(line, debug.absPos);
    appendNumber(line, debug.mcuTemp);
    appendNumber(line, debug.vdda);
    appendNumber(line, debug.dcdTrs);
    appendNumber(line, debug.dcdWrn);
    for (int n = 0; n < RecordedSampleCount; ++n)
        appendNumber(line, debug.samples[static_cast<std::size_t>(n)]);
    return line;
}

int recordingDurationSeconds(std::uint32_t elapsedMs)
{
    return static_cast<int>(std::lrint(static_cast<double>(elapsedMs) / 1000.0));
}

QString recordingDurationLine(std::uint32_t elapsedMs)
{
    return QStringLiteral("Record duration: ") + QString::number(recordingDurationSeconds(elapsedMs))
           + QStringLiteral(" sec.");
}

} // namespace quarn
