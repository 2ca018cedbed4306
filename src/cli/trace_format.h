// SPDX-License-Identifier: MIT
#pragma once

// The lines of --trace: every request and reply in hexadecimal with the time since the start,
// the port, its rate and the direction, for following an exchange with real hardware.

#include "transaction.h"

#include <QByteArray>
#include <QString>

namespace cli {

enum class TraceDirection {
    Sent,     // ">": a request to the encoder
    Received, // "<": what came back
};

// "31 00 FF": the bytes in hexadecimal, upper case, one space apart.
QString hexBytes(const QByteArray &bytes);

// "trace     12.345 ms /dev/ttyUSB0 115200 > 31 00 (note)": the time in milliseconds since
// the start; the note, when there is one, in parentheses after the bytes.
QString traceLine(qint64 elapsedUs, const QString &port, qint32 baudRate, TraceDirection direction,
                  const QByteArray &bytes, const QString &note = {});

// What the reply line of an exchange adds to its bytes: nothing for a complete reply, how many
// came of how many for an incomplete one, why none is awaited when the request did not go out.
QString replyTraceNote(serial::TransactionResult result, qsizetype received, int expectedLength);

} // namespace cli
