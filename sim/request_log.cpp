// SPDX-License-Identifier: MIT
#include "request_log.h"

#include <QFile>

namespace sim {

QString parseNoteText(ParseNote note)
{
    switch (note) {
    case ParseNote::Ok: return QStringLiteral("ok");
    case ParseNote::Unknown: return QStringLiteral("unknown");
    case ParseNote::Truncated: return QStringLiteral("truncated");
    case ParseNote::WrongRate: return QStringLiteral("wrong-rate");
    }
    return QStringLiteral("?");
}

QString logLine(const LogEntry &entry)
{
    return QString::number(entry.timeMs) + QLatin1Char(' ') + QString::number(entry.baudRate)
        + QLatin1Char(' ') + QString::fromLatin1(entry.bytes.toHex(' ').toUpper())
        + QLatin1Char(' ') + parseNoteText(entry.note);
}

RequestLog::~RequestLog()
{
    if (file_)
        std::fclose(file_);
}

bool RequestLog::openFile(const QString &path, QString *error)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!file) {
        if (error)
            *error = QStringLiteral("cannot write the log file %1").arg(path);
        return false;
    }
    if (file_)
        std::fclose(file_);
    file_ = file;
    return true;
}

void RequestLog::append(const LogEntry &entry)
{
    if (entries_.size() >= MemoryLimit)
        entries_.pop_front();
    entries_.push_back(entry);
    if (file_) {
        // Flushed line by line so that a reader sees each request as it arrives.
        const QByteArray line = logLine(entry).toLatin1() + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), file_);
        std::fflush(file_);
    }
}

std::vector<LogEntry> RequestLog::entries() const
{
    return {entries_.begin(), entries_.end()};
}

void RequestLog::clear()
{
    entries_.clear();
}

} // namespace sim
