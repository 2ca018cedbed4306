// SPDX-License-Identifier: MIT
#include "fake_serial_port.h"

#include <QThread>

#include <algorithm>
#include <cmath>

namespace serial {

QByteArray FakePortRecord::written() const
{
    QByteArray bytes;
    for (const FakeWrite &write : writes) {
        if (write.ok)
            bytes.append(write.byte);
    }
    return bytes;
}

FakeSerialPort::FakeSerialPort(bool startOpen)
    : open_(startOpen)
{
    clock_.start();
}

void FakeSerialPort::queueReply(const QList<FakeReplyChunk> &chunks)
{
    queuedReplies_.push_back(chunks);
}

void FakeSerialPort::queueReply(const QByteArray &bytes, int delayMs)
{
    queueReply(QList<FakeReplyChunk>{{delayMs, bytes}});
}

void FakeSerialPort::setResponder(Responder responder)
{
    responder_ = std::move(responder);
}

void FakeSerialPort::addInput(const QByteArray &bytes)
{
    input_.append(bytes);
}

void FakeSerialPort::failWriteAt(qsizetype attemptIndex)
{
    failingWrites_.insert(attemptIndex);
}

void FakeSerialPort::failAllWrites()
{
    failAllWrites_ = true;
}

void FakeSerialPort::failOpen(const QString &errorText)
{
    openError_ = errorText;
}

void FakeSerialPort::vanish()
{
    vanished_ = true;
    scheduled_.clear();
    input_.clear();
}

void FakeSerialPort::setWaitReturnsAtOnce(bool atOnce)
{
    waitReturnsAtOnce_ = atOnce;
}

bool FakeSerialPort::open(const QString &path)
{
    record_->events.append(QStringLiteral("open"));
    if (vanished_) {
        errorText_ = QStringLiteral("No such file or directory");
        return false;
    }
    if (!openError_.isEmpty()) {
        errorText_ = openError_;
        return false;
    }
    ++record_->opens;
    record_->openedPath = path;
    open_ = true;
    replyArrival().forget();
    errorText_.clear();
    return true;
}

bool FakeSerialPort::isOpen() const
{
    return open_;
}

bool FakeSerialPort::configure(qint32 baudRate)
{
    record_->events.append(QStringLiteral("configure"));
    if (!open_)
        return false;
    record_->configuredRates.append(baudRate);
    baudRate_ = baudRate;
    return !vanished_;
}

void FakeSerialPort::purge()
{
    record_->events.append(QStringLiteral("purge"));
    ++record_->purges;
    deliverDue();
    input_.clear();
    request_.clear();
}

bool FakeSerialPort::writeByte(char byte)
{
    record_->events.append(QStringLiteral("write"));
    const qsizetype attempt = record_->writes.size();
    const bool ok = open_ && !vanished_ && !failAllWrites_ && !failingWrites_.contains(attempt);
    const double at = nowMs();
    record_->writes.append({byte, ok, at});
    if (!ok) {
        errorText_ = QStringLiteral("Write failed");
        return false;
    }
    request_.append(byte);
    lastWriteMs_ = at;
    return true;
}

qint64 FakeSerialPort::bytesWaiting()
{
    record_->events.append(QStringLiteral("query"));
    ++record_->inputQueries;
    takeRequest();
    deliverDue();
    return open_ ? input_.size() : 0;
}

bool FakeSerialPort::waitForInput(int timeoutMs)
{
    record_->events.append(QStringLiteral("wait"));
    ++record_->waits;
    takeRequest();
    deliverDue();
    if (open_ && !input_.isEmpty())
        return true;
    if (waitReturnsAtOnce_ || timeoutMs <= 0)
        return false;
    const double deadline = nowMs() + timeoutMs;
    if (open_ && !scheduled_.empty() && scheduled_.front().atMs <= deadline) {
        sleepUntil(scheduled_.front().atMs);
        deliverDue();
        return true;
    }
    sleepUntil(deadline);
    return false;
}

QByteArray FakeSerialPort::read(qint64 maxBytes)
{
    record_->events.append(QStringLiteral("read"));
    takeRequest();
    deliverDue();
    if (!open_ || maxBytes <= 0)
        return {};
    const QByteArray bytes = input_.left(maxBytes);
    input_.remove(0, bytes.size());
    return bytes;
}

void FakeSerialPort::close()
{
    record_->events.append(QStringLiteral("close"));
    if (open_)
        ++record_->closes;
    open_ = false;
    scheduled_.clear();
    input_.clear();
    request_.clear();
}

QString FakeSerialPort::errorText() const
{
    return errorText_;
}

double FakeSerialPort::nowMs() const
{
    return static_cast<double>(clock_.nsecsElapsed()) / 1e6;
}

void FakeSerialPort::takeRequest()
{
    if (request_.isEmpty())
        return;
    const QByteArray request = request_;
    request_.clear();
    record_->requests.append(request);
    if (vanished_)
        return;

    QList<FakeReplyChunk> chunks;
    if (!queuedReplies_.empty()) {
        chunks = queuedReplies_.front();
        queuedReplies_.pop_front();
    } else if (responder_) {
        chunks = responder_(request);
    }
    for (const FakeReplyChunk &chunk : chunks)
        scheduled_.push_back({lastWriteMs_ + chunk.delayMs, chunk.bytes});
    std::stable_sort(scheduled_.begin(), scheduled_.end(),
                     [](const Scheduled &a, const Scheduled &b) { return a.atMs < b.atMs; });
}

void FakeSerialPort::deliverDue()
{
    const double now = nowMs();
    while (!scheduled_.empty() && scheduled_.front().atMs <= now) {
        if (!vanished_)
            input_.append(scheduled_.front().bytes);
        scheduled_.pop_front();
    }
}

void FakeSerialPort::sleepUntil(double atMs) const
{
    const double rest = atMs - nowMs();
    if (rest > 0)
        QThread::usleep(static_cast<unsigned long>(std::ceil(rest * 1000.0)));
}

} // namespace serial
