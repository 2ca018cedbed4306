// SPDX-License-Identifier: MIT
// Waiting with the event loop running.

#include "wait_ms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WaitMsTest : public ::testing::Test {
protected:
    void TearDown() override { orodja::setApplicationTerminating(false); }
};

TEST_F(WaitMsTest, ZeroOrLessProcessesPendingEventsOnceAndReturns)
{
    for (int ms : {0, -5}) {
        SCOPED_TRACE(ms);
        bool queuedRan = false;
        bool laterRan = false;
        QObject context;
        QMetaObject::invokeMethod(&context, [&] { queuedRan = true; }, Qt::QueuedConnection);
        QTimer::singleShot(50, &context, [&] { laterRan = true; });
        QElapsedTimer clock;
        clock.start();
        orodja::WaitMs(ms);
        EXPECT_TRUE(queuedRan);
        EXPECT_FALSE(laterRan);
        EXPECT_LT(clock.elapsed(), 40);
    }
}

TEST_F(WaitMsTest, WaitsAtLeastTheTimeWhileTimersRun)
{
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QElapsedTimer clock;
    clock.start();
    orodja::WaitMs(100);
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 100);
    EXPECT_LT(elapsed, 1000);
    EXPECT_GE(ticks, 2);
}

TEST_F(WaitMsTest, NestedWaitsEachLastTheirTime)
{
    qint64 innerElapsed = -1;
    QTimer::singleShot(10, [&] {
        QElapsedTimer inner;
        inner.start();
        orodja::WaitMs(60);
        innerElapsed = inner.elapsed();
    });
    QElapsedTimer clock;
    clock.start();
    orodja::WaitMs(30);
    // The outer wait cannot return before the handler that waits inside it.
    EXPECT_GE(innerElapsed, 60);
    EXPECT_GE(clock.elapsed(), 70);
}

TEST_F(WaitMsTest, TerminatingEndsAWaitAndLaterWaitsAtOnce)
{
    QTimer::singleShot(20, [] { orodja::setApplicationTerminating(true); });
    QElapsedTimer clock;
    clock.start();
    orodja::WaitMs(5000);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(orodja::applicationTerminating());

    clock.restart();
    orodja::WaitMs(5000);
    EXPECT_LT(clock.elapsed(), 100);
}

TEST_F(WaitMsTest, QuittingTheApplicationEndsAWait)
{
    qint64 waited = -1;
    bool terminatingAfter = false;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(20, [] { QCoreApplication::quit(); });
        QElapsedTimer clock;
        clock.start();
        orodja::WaitMs(5000);
        waited = clock.elapsed();
        terminatingAfter = orodja::applicationTerminating();
    });
    // Safety net, so a wait that ignores the quit cannot hang the test.
    // Owned by the test, so it cannot fire into a later test of the same process.
    QTimer safetyNet;
    safetyNet.setSingleShot(true);
    QObject::connect(&safetyNet, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    safetyNet.start(8000);
    QCoreApplication::exec();
    EXPECT_GE(waited, 0);
    EXPECT_LT(waited, 1000);
    EXPECT_TRUE(terminatingAfter);
}

} // namespace
