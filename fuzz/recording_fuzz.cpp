// SPDX-License-Identifier: MIT
// The recording file: its name from any part and serial numbers and any start time, and the
// row written from a poll reply and a debug record.
//
// Input: the part number and the serial number as pieces (length first); 8 bytes of
// milliseconds since the epoch (signed, big-endian); 4 bytes elapsed time, 2 bytes multiturn,
// 4 bytes single-turn, 2 bytes signal level, 1 byte temperature; the poll reply as a piece; the
// rest is the debug record.

#include "fuzz_support.h"

#include "debug_record.h"
#include "orodja.h"
#include "part_number.h"
#include "recording.h"

#include <QDateTime>
#include <QDir>
#include <QTimeZone>

#include <cmath>

namespace {

template <typename Value>
Value bigEndian(fuzz::Input &input)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(Value); ++i)
        value = (value << 8) | input.byte();
    return static_cast<Value>(value);
}

bool safeInFileName(QChar c)
{
    const char16_t code = c.unicode();
    return code >= 32 && !(code >= 127 && code < 160) && !QStringView(u"/\\:*?\"<>|").contains(c);
}

void checkNamePart(const QString &part, const QByteArray &from)
{
    FUZZ_CHECK(part.size() == from.size());
    for (const QChar c : part)
        FUZZ_CHECK(safeInFileName(c));
    FUZZ_CHECK(part != QStringLiteral(".") && part != QStringLiteral(".."));
}

void checkFileName(const QByteArray &partNumber, const QByteArray &serialNumber, const QDateTime &start)
{
    using namespace quarn;
    const QString timestamp = recordingTimestamp(start);
    FUZZ_CHECK(!timestamp.contains(u' '));
    const int year = start.date().year();
    if (year >= 1000 && year <= 9999) {
        FUZZ_CHECK(timestamp.size() == 14);
        for (const QChar c : timestamp)
            FUZZ_CHECK(c >= u'0' && c <= u'9');
    }

    checkNamePart(sanitisedFileNamePart(partNumber), partNumber);
    checkNamePart(sanitisedFileNamePart(serialNumber), serialNumber);

    // The file lands in the directory it is meant for, whatever the numbers hold.
    const QString directory = QStringLiteral("/opt/trevisor");
    const QString path = recordingFilePath(directory, partNumber, serialNumber, timestamp);
    FUZZ_CHECK(path.startsWith(directory + u'/') && QDir::cleanPath(path) == path);
    const QStringView name = QStringView(path).mid(directory.size() + 1);
    FUZZ_CHECK(name.startsWith(u"TEST_") && name.endsWith(u".csv"));
    for (const QChar c : name)
        FUZZ_CHECK(safeInFileName(c));
    // The numbers an identification gives always make a name the file system takes.
    if (partNumber.size() <= PartNumberLength && serialNumber.size() <= SerialNumberLength)
        FUZZ_CHECK(name.toUtf8().size() <= 255);
}

void checkRow(const quarn::RecordingRowInput &in, const QByteArray &pollReply)
{
    using namespace quarn;
    const QByteArray row = recordingRow(in);
    FUZZ_CHECK(!row.contains('\r') && !row.contains('\n') && row.endsWith(';'));
    FUZZ_CHECK(row.count(';') == RecordingFieldCount);
    // Counting separators is enough for the columns that follow from the record; the ones that
    // come from the poll cycle are compared whole.
    FUZZ_CHECK(row.startsWith(QByteArray::number(in.elapsedMs) + ';' + pollReply.toHex().toUpper() + ';'
                              + QByteArray::number(in.mtValue) + ';' + QByteArray::number(in.stValue) + ";xx;"
                              + orodja::IntToBin(16, in.debug.debugStatus) + ";0;"));
    FUZZ_CHECK(row.endsWith(';' + QByteArray::number(in.debug.samples[52]) + ";0;0;0;"));

    const int seconds = recordingDurationSeconds(in.elapsedMs);
    FUZZ_CHECK(seconds == static_cast<int>(std::lrint(in.elapsedMs / 1000.0)));
    FUZZ_CHECK(recordingDurationLine(in.elapsedMs)
               == QStringLiteral("Record duration: ") + QString::number(seconds) + QStringLiteral(" sec."));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quarn;
    static const bool headerChecked = [] {
        const QByteArray header = recordingHeaderLine();
        FUZZ_CHECK(header.count(';') == RecordingFieldCount && header.endsWith("MIS56;"));
        return true;
    }();
    FUZZ_CHECK(headerChecked);

    fuzz::Input input(data, size);
    const QByteArray partNumber = input.piece();
    const QByteArray serialNumber = input.piece();
    // Within about 7900 years either side of 1970, which the date-time type represents.
    constexpr std::int64_t span = 250'000'000'000'000;
    const std::int64_t msecs = bigEndian<std::int64_t>(input) % span;
    // Formatting is what is under test, not the time zone database: UTC keeps each run cheap.
    checkFileName(partNumber, serialNumber, QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc()));

    RecordingRowInput row;
    row.elapsedMs = bigEndian<std::uint32_t>(input);
    row.mtValue = bigEndian<std::int16_t>(input);
    row.stValue = bigEndian<std::int32_t>(input);
    row.signalLevel = bigEndian<std::uint16_t>(input);
    row.temperature = bigEndian<std::int8_t>(input);
    const QByteArray pollReply = input.piece();
    row.rxBufferHex = pollReply.toHex().toUpper();
    row.debug = decodeDebugRecord(input.rest());
    checkRow(row, pollReply);
    return 0;
}
