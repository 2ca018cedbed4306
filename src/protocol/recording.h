// SPDX-License-Identifier: MIT
#pragma once

// The recording file of debug readings: its name, header line, rows and the duration line.

#include "debug_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>

namespace quarn {

// Every line of the file ends with CR LF; the functions below return lines without it.
inline constexpr char RecordingLineEnd[] = "\r\n";
inline constexpr int RecordingFieldCount = 75;

// The 14 digits YYYYMMDDHHMMSS of the local start time.
QString recordingTimestamp(const QDateTime &local);

// A part or serial number from the encoder made safe inside a file name: path separators,
// control characters and :*?"<>| become "_", and a bare "." or ".." becomes underscores.
// Bytes are Latin-1; blanks stay.
QString sanitisedFileNamePart(const QByteArray &text);

// "TEST_" part "_" serial "_" timestamp ".csv".
QString recordingFileName(const QByteArray &partNumber, const QByteArray &serialNumber,
                          const QString &timestamp);
// The file name inside the given directory.
QString recordingFilePath(const QString &directory, const QByteArray &partNumber,
                          const QByteArray &serialNumber, const QString &timestamp);

// The 19 column names and MIS1 to MIS56, each followed by ";".
QByteArray recordingHeaderLine();

// What one row records: the poll cycle's latest values and the debug reading just decoded.
struct RecordingRowInput {
    std::uint32_t elapsedMs = 0; // since the header was written, wrapping at 32 bits
    QByteArray rxBufferHex;      // the last poll reply in hexadecimal, written as it is
    std::int16_t mtValue = 0;
    std::int32_t stValue = 0;
    std::uint16_t signalLevel = 0;
    std::int8_t temperature = 0;
    DebugRecord debug;
};

// The 75 fields of one reading, each followed by ";".
QByteArray recordingRow(const RecordingRowInput &in);

// Whole seconds, to nearest with ties to even.
int recordingDurationSeconds(std::uint32_t elapsedMs);
// "Record duration: " seconds " sec."
QString recordingDurationLine(std::uint32_t elapsedMs);

} // namespace quarn
