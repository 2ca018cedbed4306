// SPDX-License-Identifier: MIT
// The dial repaints only where its pointer moved: what the screen shows afterwards must be the
// dial drawn afresh at the new angle, pixel for pixel.
#include "angle_dial.h"

#include "dial_geometry.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEvent>
#include <QScreen>
#include <QTest>

#include <cmath>

namespace {

constexpr int kWidth = 100;

QImage freshDial(float degrees)
{
    AngleDial dial;
    dial.resize(kWidth, kWidth);
    dial.setAngle(degrees);
    QImage image(kWidth, kWidth, QImage::Format_ARGB32_Premultiplied);
    dial.render(&image);
    return image;
}

// Notes the region of every paint event the dial receives.
class PaintRegions : public QObject {
public:
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            regions.append(static_cast<QPaintEvent *>(event)->region());
        return false;
    }
};

struct ShownDial {
    AngleDial dial;
    PaintRegions paints;

    explicit ShownDial(float degrees)
    {
        dial.resize(kWidth, kWidth);
        dial.setAngle(degrees);
        dial.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dial));
        dial.installEventFilter(&paints);
    }
    QImage onScreen() const
    {
        return dial.screen()
            ->grabWindow(dial.winId(), 0, 0, kWidth, kWidth)
            .toImage()
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
};

TEST(AngleDial, APointerMoveRepaintsWhereItWasAndIsAndTheScreenShowsTheNewAngle)
{
    const struct {
        float from;
        float to;
    } moves[] = {{0.0F, 3.0F}, {45.0F, 47.5F}, {359.0F, 1.0F}, {10.0F, 190.0F}, {271.3F, 268.9F}};
    for (const auto &move : moves) {
        SCOPED_TRACE(testing::Message() << move.from << " -> " << move.to);
        ShownDial shown(move.from);
        shown.dial.setAngle(move.to);
        const QImage expected = freshDial(move.to);
        ASSERT_NE(expected, freshDial(move.from));
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown.onScreen() == expected; }, 1000));
        ASSERT_FALSE(shown.paints.regions.isEmpty());
        // Less than the whole dial for a move of a few degrees.
        const QRect painted = shown.paints.regions.first().boundingRect();
        if (std::abs(move.to - move.from) < 5.0F) {
            EXPECT_LT(painted.width() * painted.height(), kWidth * kWidth / 2);
        }
    }
}

TEST(AngleDial, ANewAngleThatLeavesThePointerOnTheSamePixelsPaintsNothing)
{
    ShownDial shown(120.0F);
    const quarn::DialGeometry at = quarn::dialGeometry(kWidth, 120.0F);
    const quarn::DialGeometry near = quarn::dialGeometry(kWidth, 120.001F);
    ASSERT_EQ(at.pointerTo, near.pointerTo);
    shown.dial.setAngle(120.001F);
    EXPECT_FLOAT_EQ(shown.dial.angle(), 120.001F);
    QTest::qWait(100);
    EXPECT_TRUE(shown.paints.regions.isEmpty());
    EXPECT_EQ(shown.onScreen(), freshDial(120.001F));
}

} // namespace
