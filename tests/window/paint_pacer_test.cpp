// SPDX-License-Identifier: MIT
#include "paint_pacer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
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

} // namespace
