// SPDX-License-Identifier: MIT
#include "transaction.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace serial {

TransactionResult runTransaction(SerialPort *port, const QByteArray &request, qint32 expectedLength,
                                 QByteArray &reply, const TransactionTiming &timing)
{
    if (port == nullptr || !port->isOpen())
        return TransactionResult::NoPort;

    // Stale bytes, such as an answer nobody waited for, must not reach this reply.
    port->purge();

    bool written = false;
    for (qsizetype i = 0; i < request.size(); ++i) {
        if (i > 0)
            QThread::msleep(static_cast<unsigned long>(timing.gapBeforeByteMs));
        // Only the last byte's write decides, as the line is judged by its final state.
        written = port->writeByte(request.at(i));
    }
    if (!written)
        return TransactionResult::WriteFailed;

    // The reply may begin during the pause after the last byte: one wait in the driver covers
    // the pause and the wait for the first byte, and the rest of the pause is slept out only
    // when the reply came sooner.
    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    const qint64 pauseMs = timing.pauseAfterLastMs;
    if (expectedLength > 0)
        port->waitForInput(static_cast<int>(pauseMs + timing.replyWindowMs + 1));
    if (const qint64 rest = pauseMs - sinceLastByte.elapsed(); rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
    reply.clear();
    // The reply window counts from the end of the pause.
    const auto windowElapsed = [&] { return sinceLastByte.elapsed() - pauseMs; };

    // Bytes seen waiting in the driver but left there while the rest of the reply crosses the
    // line, so that it is read in one call.
    qint64 seenWaiting = 0;
    for (;;) {
        const qint64 waiting = port->bytesWaiting();
        if (reply.size() + waiting >= expectedLength) {
            if (waiting > 0)
                reply.append(port->read(waiting));
            return TransactionResult::Complete;
        }
        const qint64 elapsed = windowElapsed();
        if (elapsed > timing.replyWindowMs) {
            if (waiting > 0)
                reply.append(port->read(waiting));
            return TransactionResult::Incomplete;
        }
        // While the reply is flowing, the bytes still missing cannot cross the line faster than
        // 10 bits each: sleep that long instead of waking for every byte.
        const qint32 baud = port->baudRate();
        if (waiting > seenWaiting && baud > 0) {
            seenWaiting = waiting;
            const qint64 missing = expectedLength - reply.size() - waiting;
            const qint64 lineTimeUs = missing * 10 * 1000000LL / baud;
            const qint64 windowLeftUs = (timing.replyWindowMs - elapsed + 1) * 1000;
            QThread::usleep(static_cast<unsigned long>(std::min(lineTimeUs, windowLeftUs)));
            continue;
        }
        // A reply that stopped coming: take what waits, so that the driver's wait below blocks
        // until more arrives, waking the moment it does. A port that returns at once without
        // input (one in error) gets a 1 ms pause, so the loop cannot spin.
        if (waiting > 0) {
            reply.append(port->read(waiting));
            seenWaiting = 0;
        }
        const bool arrived = port->waitForInput(static_cast<int>(timing.replyWindowMs - elapsed + 1));
        if (!arrived && windowElapsed() == elapsed)
            QThread::msleep(1);
    }
}

} // namespace serial
