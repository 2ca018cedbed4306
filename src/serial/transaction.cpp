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

    QThread::msleep(static_cast<unsigned long>(timing.pauseAfterLastMs));
    reply.clear();
    QElapsedTimer clock;
    clock.start();

    for (;;) {
        const qint64 waiting = port->bytesWaiting();
        if (waiting > 0)
            reply.append(port->read(waiting));
        if (reply.size() >= expectedLength)
            return TransactionResult::Complete;
        const qint64 elapsed = clock.elapsed();
        if (elapsed > timing.replyWindowMs)
            return TransactionResult::Incomplete;
        // While the reply is flowing, the bytes still missing cannot cross the line faster than
        // 10 bits each: sleep that long instead of waking for every byte. A reply that stopped
        // coming goes back to blocking in the driver.
        const qint32 baud = port->baudRate();
        if (waiting > 0 && baud > 0) {
            const qint64 lineTimeUs = (expectedLength - reply.size()) * 10 * 1000000LL / baud;
            const qint64 windowLeftUs = (timing.replyWindowMs - elapsed + 1) * 1000;
            QThread::usleep(static_cast<unsigned long>(std::min(lineTimeUs, windowLeftUs)));
            continue;
        }
        // Block in the driver for the rest of the window; a reply wakes us the moment it arrives.
        // A port that returns at once without input (one in error) gets a 1 ms pause, so the
        // loop cannot spin.
        const bool arrived = port->waitForInput(static_cast<int>(timing.replyWindowMs - elapsed + 1));
        if (!arrived && clock.elapsed() == elapsed)
            QThread::msleep(1);
    }
}

} // namespace serial
