// SPDX-License-Identifier: MIT
#pragma once

// Work on several ports at once: each job runs in a thread of its own with a context of its
// own (its own ports, its output kept to itself), while the calling thread alone writes to
// the real standard error and output and asks whether to stop. A job's messages reach
// standard error line by line as it writes them, so one port's lines never split another's.

#include "cli_context.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>

namespace cli {

// A device for a QTextStream that hands on each complete line it is given. While held, the
// lines are kept instead, to be handed on or dropped later.
class LineRelay : public QIODevice {
public:
    explicit LineRelay(std::function<void(const QString &)> onLine);

    void hold() { held_ = true; }
    // Hands on the lines kept while held and stops holding.
    void release();
    // Drops the lines kept while held and stops holding.
    QStringList takeHeld();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    std::function<void(const QString &)> onLine_;
    QByteArray partial_;
    bool held_ = false;
    QStringList kept_;
};

// What a job has: its index, its context (standard error relayed, standard output its own
// buffer, the stop request of the caller) and the relay of its messages.
struct SideBySideJob {
    int index = 0;
    Context &context;
    LineRelay &messages;
};

// Runs `job` for the indexes 0 to count - 1, each in a thread of its own, and waits for all.
// On the calling thread: `onMessage` for each line a job writes on standard error (in the
// order written), `onFinished` once a job has returned, and `parent.stopRequested`, asked
// every 50 ms and passed on to the jobs. A job's context starts with the parent's port
// factories and --verbose/--trace; its standard error is not a terminal.
void runSideBySide(int count, Context &parent, const std::function<void(SideBySideJob &)> &job,
                   const std::function<void(int index, const QString &line)> &onMessage,
                   const std::function<void(int index)> &onFinished);

} // namespace cli
