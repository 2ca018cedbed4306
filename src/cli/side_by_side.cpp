// SPDX-License-Identifier: MIT
#include "side_by_side.h"

#include <QTextStream>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace cli {

LineRelay::LineRelay(std::function<void(const QString &)> onLine) : onLine_(std::move(onLine))
{
    open(QIODevice::WriteOnly);
}

qint64 LineRelay::writeData(const char *data, qint64 size)
{
    partial_.append(data, size);
    qsizetype end = 0;
    while ((end = partial_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(partial_.first(end));
        partial_.remove(0, end + 1);
        if (held_)
            kept_.append(line);
        else
            onLine_(line);
    }
    return size;
}

void LineRelay::release()
{
    held_ = false;
    for (const QString &line : std::exchange(kept_, {}))
        onLine_(line);
}

QStringList LineRelay::takeHeld()
{
    held_ = false;
    return std::exchange(kept_, {});
}

namespace {

constexpr auto StopPollInterval = std::chrono::milliseconds(50);

// What the jobs hand to the calling thread: a message line, or the end of a job.
struct JobEvent {
    int index = 0;
    QString line;
    bool finished = false;
};

class JobEvents {
public:
    // Notifies under the lock: once the caller has taken a job's last event, that job no longer
    // touches this object, which the caller may then destroy.
    void push(JobEvent event)
    {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        ready_.notify_one();
    }

    // The events so far; waits for one up to `wait` first.
    std::deque<JobEvent> take(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, wait, [this] { return !events_.empty(); });
        return std::exchange(events_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<JobEvent> events_;
};

} // namespace

void runSideBySide(int count, Context &parent, const std::function<void(SideBySideJob &)> &job,
                   const std::function<void(int index, const QString &line)> &onMessage,
                   const std::function<void(int index)> &onFinished)
{
    JobEvents events;
    std::atomic<bool> stop = false;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int index = 0; index < count; ++index) {
        threads.emplace_back(QThread::create([&, index] {
            LineRelay messages([&events, index](const QString &line) { events.push({index, line, false}); });
            QTextStream err(&messages);
            QString output;
            QTextStream out(&output);
            Context context;
            context.out = &out;
            context.err = &err;
            context.errIsTerminal = false;
            context.stopRequested = [&stop] { return stop.load(); };
            context.makePort = parent.makePort;
            context.listPorts = parent.listPorts;
            context.verbose = parent.verbose;
            context.trace = parent.trace;
            context.started = parent.started;
            SideBySideJob running{index, context, messages};
            job(running);
            err.flush();
            events.push({index, {}, true});
        }));
        threads.back()->start();
    }
    int running = count;
    while (running > 0) {
        for (const JobEvent &event : events.take(StopPollInterval)) {
            if (event.finished) {
                threads.at(static_cast<std::size_t>(event.index))->wait();
                --running;
                onFinished(event.index);
            } else {
                onMessage(event.index, event.line);
            }
        }
        if (!stop && parent.stopRequested())
            stop = true;
    }
}

} // namespace cli
