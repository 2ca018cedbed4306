// SPDX-License-Identifier: MIT
#include "wait_ms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <vector>

namespace orodja {

namespace {

bool terminatingFlag = false;
// Set by a signal handler, which may touch nothing but a lock-free atomic.
std::atomic<bool> terminationSignalled = false;
static_assert(std::atomic<bool>::is_always_lock_free);
// The loops of the waits in progress (they nest when a handler waits inside another's wait).
std::vector<QEventLoop *> activeWaits;

constexpr int TimeUp = 1;
constexpr int Ended = 2;

// Notes a request to quit the application (QCoreApplication::quit and closing the last window
// send it) before the loops end, so that code which resumes after its wait sees it.
class QuitWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            setApplicationTerminating(true);
        return false;
    }
};

void watchForQuit()
{
    static QPointer<QuitWatcher> watcher;
    QCoreApplication *application = QCoreApplication::instance();
    if (application == nullptr || watcher != nullptr)
        return;
    watcher = new QuitWatcher(application);
    application->installEventFilter(watcher);
}

} // namespace

bool applicationTerminating()
{
    watchForQuit();
    return terminatingFlag || terminationSignalled.load() || QCoreApplication::instance() == nullptr
           || QCoreApplication::closingDown();
}

void requestTerminationFromSignal()
{
    terminationSignalled.store(true);
}

void setApplicationTerminating(bool terminating)
{
    terminatingFlag = terminating;
    if (!terminating)
        terminationSignalled.store(false);
    if (terminating) {
        for (QEventLoop *loop : activeWaits)
            loop->exit(Ended);
    }
}

void WaitMs(int ms)
{
    if (QCoreApplication::instance() == nullptr)
        return;
    watchForQuit();
    if (ms <= 0 || applicationTerminating()) {
        QCoreApplication::processEvents();
        return;
    }

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(TimeUp); });

    activeWaits.push_back(&loop);
    for (;;) {
        const qint64 remaining = ms - clock.elapsed();
        if (remaining <= 0)
            break;
        timer.start(static_cast<int>(remaining));
        // Any other way out than our own timer (terminating, or QCoreApplication::exit, which
        // ends every running loop) ends the wait; a timer that fired a little early is re-armed.
        if (loop.exec() != TimeUp) {
            // QCoreApplication::exit ended the loop: the program is ending, and the loops
            // that resume after this wait must not run on without pauses.
            setApplicationTerminating(true);
            break;
        }
        if (applicationTerminating())
            break;
    }
    activeWaits.erase(std::find(activeWaits.begin(), activeWaits.end(), &loop));
}

} // namespace orodja
