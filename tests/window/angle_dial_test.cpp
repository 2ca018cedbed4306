// SPDX-License-Identifier: MIT
// The angle dial: its pointer runs from the centre to the rim at the angle, and it repaints only
// where its pointer moved, so that what the screen shows afterwards is the dial drawn afresh at
// the new angle, pixel for pixel.
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

// The dial drawn into an image of its own size, on white.
QImage drawDial(int width, float degrees)
{
    AngleDial dial;
    dial.resize(width, width);
    dial.setAngle(degrees);
    QImage image(width, width, QImage::Format_RGB32);
    image.fill(Qt::white);
    dial.render(&image);
    return image;
}

// Whether any pixel within one pixel of (x, y) has this colour.
bool colourNear(const QImage &image, int x, int y, QRgb colour)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint at(x + dx, y + dy);
            if (image.valid(at) && image.pixel(at) == colour)
                return true;
        }
    }
    return false;
}

TEST(AngleDialPaint, ThePointerRunsFromTheCentreToTheRimAtTheAngle)
{
    const QRgb blue = qRgb(0, 0, 255);
    struct PointerCase {
        float degrees;
        QPoint nearEnd;   // two pixels inside the pointer's end
        QPoint opposite;  // where the pointer does not go
    };
    const PointerCase cases[] = {
        {0.0F, {50, 2}, {50, 97}},
        {90.0F, {2, 50}, {97, 50}},
        {180.0F, {50, 97}, {50, 2}},
        {270.0F, {97, 50}, {2, 50}},
    };
    for (const PointerCase &c : cases) {
        SCOPED_TRACE(c.degrees);
        const QImage image = drawDial(100, c.degrees);
        EXPECT_TRUE(colourNear(image, c.nearEnd.x(), c.nearEnd.y(), blue));
        EXPECT_TRUE(colourNear(image, 50, 50, blue));
        EXPECT_FALSE(colourNear(image, c.opposite.x(), c.opposite.y(), blue));
    }
    // The outline's pixels run from the near edge of the square to one before the far edge.
    const QImage upright = drawDial(100, 0.0F);
    for (const QPoint rim : {QPoint(0, 50), QPoint(50, 99), QPoint(99, 50)}) {
        SCOPED_TRACE(rim.x() * 1000 + rim.y());
        EXPECT_LT(qGray(upright.pixel(rim)), 128);
    }
}

TEST(AngleDialPaint, AnOddWidthDrawsTheSameDial)
{
    for (const float degrees : {0.0F, 45.0F, 200.0F}) {
        SCOPED_TRACE(degrees);
        const QImage even = drawDial(100, degrees);
        const QImage odd = drawDial(101, degrees);
        EXPECT_EQ(odd.copy(0, 0, 100, 100), even);
    }
}

} // namespace
