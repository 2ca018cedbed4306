// SPDX-License-Identifier: MIT
#pragma once

// One request/reply exchange on an open port: purge, send the request byte by byte, collect
// the reply until it has the expected length or the reply window has passed.

#include "serial_port.h"

#include <QByteArray>

namespace serial {

enum class TransactionResult {
    Complete,    // at least the expected number of bytes arrived (all waiting bytes taken)
    Incomplete,  // fewer within the reply window; the reply holds what came
    NoPort,      // no port open: nothing sent, reply unchanged
    WriteFailed, // the last request byte could not be written: reply unchanged
};

struct TransactionTiming {
    int gapBeforeByteMs = 2;  // before every request byte after the first
    int pauseAfterLastMs = 1; // after the last request byte
    int replyWindowMs = 300;  // measured from the moment the reply buffer is cleared
};

// `port` may be null (no port). The request must not be empty.
TransactionResult runTransaction(SerialPort *port, const QByteArray &request, qint32 expectedLength,
                                 QByteArray &reply, const TransactionTiming &timing = {});

} // namespace serial
