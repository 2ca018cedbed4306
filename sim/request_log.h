// SPDX-License-Identifier: MIT
#pragma once

// The record of every request the simulated encoder received: when, at which line rate, which
// bytes, and what the encoder made of them. Kept in memory and optionally written to a file.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

namespace sim {

enum class ParseNote {
    Ok,
    Unknown,
    Truncated,
    WrongRate, // arrived while the line was set to another baud rate; not acted upon
};

struct LogEntry {
    std::int64_t timeMs = 0;
    std::int32_t baudRate = 0;
    QByteArray bytes;
    ParseNote note = ParseNote::Ok;

    bool operator==(const LogEntry &) const = default;
};

QString parseNoteText(ParseNote note);
// One line of the log file: time in ms, baud rate, the bytes in uppercase hexadecimal separated
// by blanks, and the note, e.g. "1532 115200 5E 1A C3 77 63 ok".
QString logLine(const LogEntry &entry);

class RequestLog {
public:
    // Beyond this many entries the oldest are forgotten (the file keeps them all).
    static constexpr std::size_t MemoryLimit = 200000;

    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog &) = delete;
    RequestLog &operator=(const RequestLog &) = delete;

    // Starts writing every new entry to the file (truncated first). False with the reason when
    // it cannot be opened.
    bool openFile(const QString &path, QString *error);
    void append(const LogEntry &entry);
    std::vector<LogEntry> entries() const;
    void clear();

private:
    std::deque<LogEntry> entries_;
    std::FILE *file_ = nullptr;
};

} // namespace sim
