// SPDX-License-Identifier: MIT
#pragma once

// A scripted serial port for tests. It records everything done to it and answers each request
// with chunks of bytes that become available a set time after the request's last byte, in real
// time, so timing can be checked. It can fail any write, refuse to open, vanish like a pulled
// adapter, or return from waits at once like a port in error.

#include "serial_port.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <set>

namespace serial {

struct FakeReplyChunk {
    int delayMs = 0; // after the request's last byte was written
    QByteArray bytes;
};

struct FakeWrite {
    char byte = 0;
    bool ok = false;
    double atMs = 0.0; // since the fake was made
};

// What was done to one fake. Kept in a shared object so that it outlives a port that the code
// under test has destroyed.
struct FakePortRecord {
    QString openedPath;
    int opens = 0;
    int closes = 0;
    int purges = 0;
    int inputQueries = 0; // calls of bytesWaiting()
    int waits = 0;        // calls of waitForInput()
    QList<qint32> configuredRates;
    QList<FakeWrite> writes;    // every attempt, failed ones included
    QList<QByteArray> requests; // bytes written since the last purge, taken when reading began
    // One word per operation, in order: open, configure, purge, write, query, wait, read, close.
    QStringList events;

    // The bytes of all successful writes.
    QByteArray written() const;
};

class FakeSerialPort final : public SerialPort {
public:
    using Responder = std::function<QList<FakeReplyChunk>(const QByteArray &request)>;

    // A fake that is already open (for transactions) or waits for open() (for the search).
    explicit FakeSerialPort(bool startOpen = false);

    // Replies for the coming requests, one entry per request, used before the responder.
    void queueReply(const QList<FakeReplyChunk> &chunks);
    void queueReply(const QByteArray &bytes, int delayMs = 0);
    // Answers every request that finds no queued reply.
    void setResponder(Responder responder);
    // Input that is already waiting, as if it came before anything was asked.
    void addInput(const QByteArray &bytes);

    // Fails the write attempt with this index, counted from 0 over the fake's life.
    void failWriteAt(qsizetype attemptIndex);
    // Fails every write from now on.
    void failAllWrites();
    // open() fails with this text.
    void failOpen(const QString &errorText);
    // The device is gone: writes fail, nothing more arrives, a new open() fails.
    void vanish();
    // waitForInput() returns false at once instead of waiting, as a port in error does.
    void setWaitReturnsAtOnce(bool atOnce);
    // What lowLatencyMode() reports while the fake is open.
    void setLowLatencyMode(LowLatencyMode mode) { lowLatency_ = mode; }

    const FakePortRecord &record() const { return *record_; }
    std::shared_ptr<const FakePortRecord> sharedRecord() const { return record_; }
    // The rate last configured, 0 before any.
    qint32 baudRate() const override { return baudRate_; }
    bool vanished() const { return vanished_; }

    bool open(const QString &path) override;
    bool isOpen() const override;
    bool configure(qint32 baudRate) override;
    void purge() override;
    bool writeByte(char byte) override;
    qint64 bytesWaiting() override;
    bool waitForInput(int timeoutMs) override;
    QByteArray read(qint64 maxBytes) override;
    void close() override;
    QString errorText() const override;
    LowLatencyMode lowLatencyMode() const override { return open_ ? lowLatency_ : LowLatencyMode::Unknown; }

private:
    struct Scheduled {
        double atMs;
        QByteArray bytes;
    };

    double nowMs() const;
    // Ends the request being written when the caller turns to reading, and schedules its reply.
    void takeRequest();
    // Moves the chunks whose time has come into the input.
    void deliverDue();
    void sleepUntil(double atMs) const;

    std::shared_ptr<FakePortRecord> record_ = std::make_shared<FakePortRecord>();
    QElapsedTimer clock_;
    bool open_ = false;
    bool vanished_ = false;
    bool waitReturnsAtOnce_ = false;
    bool failAllWrites_ = false;
    QString openError_;
    LowLatencyMode lowLatency_ = LowLatencyMode::Unknown;
    QString errorText_;
    qint32 baudRate_ = 0;
    std::set<qsizetype> failingWrites_;
    std::deque<QList<FakeReplyChunk>> queuedReplies_;
    Responder responder_;
    QByteArray request_;
    double lastWriteMs_ = 0.0;
    std::deque<Scheduled> scheduled_;
    QByteArray input_;
};

} // namespace serial
