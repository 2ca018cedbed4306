// SPDX-License-Identifier: MIT
#include "transaction.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <optional>

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

    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    const auto elapsedUs = [&] { return sinceLastByte.nsecsElapsed() / 1000; };
    const qint64 pauseMs = timing.pauseAfterLastMs;
    const qint32 baud = port->baudRate();
    ReplyArrival &arrival = port->replyArrival();
    const std::optional<qint64> dueUs =
        expectedLength > 0 ? arrival.expectedWholeUs(request, expectedLength, baud) : std::nullopt;
    if (dueUs) {
        // This request's replies have come whole by a known time: sleep until then and look
        // once, instead of waking at the first byte and again at the last. Never past the
        // window.
        const qint64 untilUs =
            std::min(std::max(*dueUs, pauseMs * 1000), (pauseMs + timing.replyWindowMs) * 1000);
        if (const qint64 restUs = untilUs - elapsedUs(); restUs > 0)
            QThread::usleep(static_cast<unsigned long>(restUs));
    } else if (expectedLength > 0) {
        // The reply may begin during the pause after the last byte: one wait in the driver
        // covers the pause and the wait for the first byte, and the rest of the pause is slept
        // out only when the reply came sooner.
        port->waitForInput(static_cast<int>(pauseMs + timing.replyWindowMs + 1));
    }
    if (const qint64 rest = pauseMs - sinceLastByte.elapsed(); rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
    reply.clear();
    // The reply window counts from the end of the pause.
    const auto windowElapsed = [&] { return sinceLastByte.elapsed() - pauseMs; };
    bool firstLook = dueUs.has_value();

    // Bytes seen waiting in the driver but left there while the rest of the reply crosses the
    // line, so that it is read in one call.
    qint64 seenWaiting = 0;
    for (;;) {
        const qint64 waiting = port->bytesWaiting();
        if (reply.size() + waiting >= expectedLength) {
            if (expectedLength > 0)
                arrival.noteWhole(request, expectedLength, baud, elapsedUs(), firstLook);
            if (waiting > 0)
                reply.append(port->read(waiting));
            return TransactionResult::Complete;
        }
        firstLook = false;
        const qint64 elapsed = windowElapsed();
        if (elapsed > timing.replyWindowMs) {
            arrival.noteMissing(request);
            if (waiting > 0)
                reply.append(port->read(waiting));
            return TransactionResult::Incomplete;
        }
        // While the reply is flowing, the bytes still missing cannot cross the line faster than
        // 10 bits each: sleep that long instead of waking for every byte.
        if (waiting > seenWaiting && baud > 0) {
            seenWaiting = waiting;
            const qint64 missingUs = lineTimeUs(expectedLength - reply.size() - waiting, baud);
            const qint64 windowLeftUs = (timing.replyWindowMs - elapsed + 1) * 1000;
            QThread::usleep(static_cast<unsigned long>(std::min(missingUs, windowLeftUs)));
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
