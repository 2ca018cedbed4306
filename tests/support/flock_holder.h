// SPDX-License-Identifier: MIT
#pragma once

// A port locked by util-linux's flock, the lock that picocom and the companion take: another
// program holding it. The lock goes with the object, or once `seconds` have passed.

#include <QByteArray>
#include <QProcess>
#include <QString>

class FlockHolder {
public:
    explicit FlockHolder(const QString &path, const QString &seconds = QStringLiteral("30"))
    {
        process_.start(QStringLiteral("flock"), {QStringLiteral("--exclusive"), QStringLiteral("--nonblock"), path,
                                                 QStringLiteral("-c"), QStringLiteral("echo held; exec sleep ") + seconds});
        started_ = process_.waitForStarted(5000);
        if (started_ && process_.waitForReadyRead(5000))
            held_ = process_.readAllStandardOutput() == QByteArray("held\n");
    }
    ~FlockHolder() { release(); }
    FlockHolder(const FlockHolder &) = delete;
    FlockHolder &operator=(const FlockHolder &) = delete;

    // False where flock is not installed: the test is skipped.
    bool started() const { return started_; }
    // The lock was taken (flock said so).
    bool held() const { return held_; }
    qint64 pid() const { return process_.processId(); }
    // Waits for a short hold to end by itself.
    void waitForEnd() { process_.waitForFinished(5000); }
    void release()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

private:
    QProcess process_;
    bool started_ = false;
    bool held_ = false;
};
