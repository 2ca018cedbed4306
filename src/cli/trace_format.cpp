// SPDX-License-Identifier: MIT
#include "trace_format.h"

namespace cli {

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString traceLine(qint64 elapsedUs, const QString &port, qint32 baudRate, TraceDirection direction,
                  const QByteArray &bytes, const QString &note)
{
    // Whole microseconds, so the milliseconds need no rounding.
    const QString time = QStringLiteral("%1.%2")
                             .arg(elapsedUs / 1000)
                             .arg(elapsedUs % 1000, 3, 10, QLatin1Char('0'));
    QString line = QStringLiteral("trace %1 ms %2 %3 %4")
                       .arg(time, 10)
                       .arg(port)
                       .arg(baudRate)
                       .arg(QChar(direction == TraceDirection::Sent ? u'>' : u'<'));
    if (!bytes.isEmpty())
        line += u' ' + hexBytes(bytes);
    if (!note.isEmpty())
        line += QStringLiteral(" (") + note + u')';
    return line;
}

QString replyTraceNote(serial::TransactionResult result, qsizetype received, int expectedLength)
{
    switch (result) {
    case serial::TransactionResult::Complete:
        return {};
    case serial::TransactionResult::Incomplete:
        return received == 0 ? QStringLiteral("nothing within the reply window, %1 bytes awaited").arg(expectedLength)
                             : QStringLiteral("%1 of %2 bytes within the reply window").arg(received).arg(expectedLength);
    case serial::TransactionResult::NoPort:
        return QStringLiteral("not sent: the port is closed");
    case serial::TransactionResult::WriteFailed:
        return QStringLiteral("the request could not be written; no reply awaited");
    }
    return {};
}

} // namespace cli
