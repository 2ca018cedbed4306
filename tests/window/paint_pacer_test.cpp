// SPDX-License-Identifier: MIT
#include "paint_pacer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

class CountingWidget : public QWidget {
public:
    using QWidget::QWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

TEST(PaintPacer, ChangesWithinAFrameArePaintedOnceWhenTheFrameIsDue)
{
    constexpr int FrameMs = 300;
    QWidget window;
    window.resize(100, 100);
    auto *child = new CountingWidget(&window);
    child->setGeometry(10, 10, 40, 40);
    new PaintPacer(&window, FrameMs);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(FrameMs + 50);
    QCoreApplication::processEvents();

    // The first change after a quiet frame is painted at once.
    int before = child->paints;
    child->update();
    QCoreApplication::processEvents();
    EXPECT_EQ(child->paints, before + 1);

    // Further changes within the frame wait for it, and then are all painted together.
    QElapsedTimer clock;
    clock.start();
    before = child->paints;
    child->update();
    QCoreApplication::processEvents();
    child->update();
    QCoreApplication::processEvents();
    EXPECT_EQ(child->paints, before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return child->paints > before; }, 2 * FrameMs));
    EXPECT_GE(clock.elapsed(), FrameMs / 2);
    QTest::qWait(FrameMs + 50);
    EXPECT_EQ(child->paints, before + 1);
}

// A shown window with one child that counts its paints, paced at `frameMs`.
struct PacedWindow {
    explicit PacedWindow(int frameMs)
    {
        window.resize(100, 100);
        child = new CountingWidget(&window);
        child->setGeometry(10, 10, 40, 40);
        new PaintPacer(&window, frameMs);
        window.show();
    }
    QWidget window;
    CountingWidget *child = nullptr;
};

TEST(PaintPacer, AHeldFrameIsPaintedAsTheLoopGoesIdleOnceDueWithoutATimerOfItsOwn)
{
    constexpr int FrameMs = 300;
    PacedWindow paced(FrameMs);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&paced.window));
    QTest::qWait(FrameMs + 50);
    paced.child->update();
    QCoreApplication::processEvents();
    const int afterFirst = paced.child->paints;

    // Held: the frame is not due yet.
    paced.child->update();
    QCoreApplication::processEvents();
    ASSERT_EQ(paced.child->paints, afterFirst);

    // Past the frame, without running the loop; then anything that wakes the loop briefly, as
    // the poll timer does. The pacer's own timer would fire only half a frame later.
    QTest::qSleep(FrameMs + 20);
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(paced.child->paints, afterFirst + 1);
    EXPECT_LT(clock.elapsed(), FrameMs / 2);
}

TEST(PaintPacer, ChangesThatKeepComingArePaintedOncePerFrame)
{
    constexpr int FrameMs = 100;
    PacedWindow paced(FrameMs);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&paced.window));
    QTest::qWait(FrameMs + 50);

    // A change every 5 ms for a second, as a fast poll interval makes.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, paced.child, qOverload<>(&QWidget::update));
    const int before = paced.child->paints;
    ticker.start(5);
    QTest::qWait(1000);
    ticker.stop();
    const int painted = paced.child->paints - before;
    // Ten frames and the first change, painted at once; a slow machine may fall behind.
    EXPECT_LE(painted, 11);
    EXPECT_GE(painted, 5);
}

TEST(PaintPacer, AFrameAskedForComesWhenDueAndWhatItsPreparationChangesIsPaintedInIt)
{
    constexpr int FrameMs = 200;
    PacedWindow paced(FrameMs);
    auto *pacer = paced.window.findChild<PaintPacer *>();
    ASSERT_NE(pacer, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&paced.window));
    int prepared = 0;
    int paintsWhenPrepared = -1;
    pacer->setBeforeFrame([&] {
        ++prepared;
        paintsWhenPrepared = paced.child->paints;
        paced.child->update();
    });
    QTest::qWait(FrameMs + 50);
    QCoreApplication::processEvents();
    prepared = 0;

    // Nothing is marked for painting; the frame comes all the same, at once after a quiet frame.
    const int before = paced.child->paints;
    pacer->requestFrame();
    EXPECT_TRUE(QTest::qWaitFor([&] { return prepared > 0; }, FrameMs));
    // The change made in the preparation was painted in that frame, not one later.
    EXPECT_EQ(paintsWhenPrepared, before);
    EXPECT_EQ(paced.child->paints, before + 1);

    // Asked for within the frame: it waits for the frame, and one request makes one frame.
    QElapsedTimer clock;
    clock.start();
    pacer->requestFrame();
    pacer->requestFrame();
    EXPECT_TRUE(QTest::qWaitFor([&] { return prepared > 1; }, 2 * FrameMs));
    EXPECT_GE(clock.elapsed(), FrameMs / 2);
    QTest::qWait(FrameMs + 50);
    EXPECT_EQ(prepared, 2);
    EXPECT_EQ(paced.child->paints, before + 2);
}

TEST(PaintPacer, AWindowOutOfSightPaintsNothingAndEverythingHeldOnceBackInSight)
{
    constexpr int FrameMs = 50;
    PacedWindow paced(FrameMs);
    auto *pacer = paced.window.findChild<PaintPacer *>();
    ASSERT_NE(pacer, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&paced.window));
    int prepared = 0;
    pacer->setBeforeFrame([&] { ++prepared; });
    QTest::qWait(FrameMs + 50);

    // Changes and asked-for frames over several frames, as a blinking caret and the poll make.
    pacer->setOutOfSight(true);
    const int before = paced.child->paints;
    prepared = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, paced.child, [&] {
        paced.child->update();
        pacer->requestFrame();
    });
    ticker.start(10);
    QTest::qWait(6 * FrameMs);
    ticker.stop();
    QTest::qWait(2 * FrameMs);
    EXPECT_EQ(paced.child->paints, before);
    EXPECT_EQ(prepared, 0);

    // Back in sight: one frame with all that was held, and none after it.
    QElapsedTimer clock;
    clock.start();
    pacer->setOutOfSight(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paced.child->paints > before; }, 4 * FrameMs));
    EXPECT_LT(clock.elapsed(), 3 * FrameMs);
    QTest::qWait(2 * FrameMs);
    EXPECT_EQ(paced.child->paints, before + 1);
    EXPECT_EQ(prepared, 1);

    // Out of sight and back with nothing held paints nothing.
    pacer->setOutOfSight(true);
    pacer->setOutOfSight(false);
    QTest::qWait(2 * FrameMs);
    EXPECT_EQ(paced.child->paints, before + 1);
}

} // namespace
