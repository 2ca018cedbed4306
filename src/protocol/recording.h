// SPDX-License-Identifier: MIT
#pragma once

// The recording file of debug readings: its name, its creation without replacing any file, the
// header line, rows and the duration line.

#include "debug_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

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

// Whether something already stands at a path, so that a new file cannot be created there.
using PathTaken = std::function<bool(const QString &path)>;

// A file, a directory or a link, a dangling link included (creating a file through it fails too).
bool pathExists(const QString &path);

// The highest counter firstFreePath tries.
inline constexpr int LastFreeNameCounter = 9999;

// The first path from `wanted` on that is not taken: `wanted` itself, else the file name with
// "-2", "-3", ... before its last suffix (TEST_A_B_20240215090507.csv gives
// TEST_A_B_20240215090507-2.csv, a.tar.gz gives a.tar-2.gz). Only what follows the last "/" is
// the file name, so dots in directory names do not count. A name without a dot, or whose only
// dot is its first character (.csv), gets the counter at its end. When every counter up to
// LastFreeNameCounter is taken too, `wanted` is returned, and creating it as a new file fails.
QString firstFreePath(const QString &wanted, const PathTaken &taken);

// How many times createNewRecordingFile tries to create a file.
inline constexpr int RecordingCreateAttempts = 10;

using RecordingFileFactory = std::function<std::unique_ptr<QIODevice>(const QString &path)>;

// The outcome of createNewRecordingFile.
struct NewRecordingFile {
    std::unique_ptr<QIODevice> device; // open for writing; null when no file could be created
    QString path;                      // where it was created, or the last path tried
    QString error;                     // why the last attempt failed
};

// Creates a recording at the first free path from `wanted` on, opened write-only, unbuffered
// and with NewOnly: no existing file is ever truncated, not even one that appears between the
// check and the open. Such an open fails, and the next free name is tried, up to
// RecordingCreateAttempts times; any other failure ends at once.
NewRecordingFile createNewRecordingFile(const QString &wanted, const RecordingFileFactory &create,
                                        const PathTaken &taken = pathExists);

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
