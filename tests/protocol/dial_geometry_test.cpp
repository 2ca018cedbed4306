// SPDX-License-Identifier: MIT
#include "dial_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quarn;

TEST(DialGeometry, CircleAndLabelsOfAHundredPixelBox)
{
    for (const int width : {100, 101}) {
        SCOPED_TRACE(width);
        const DialGeometry dial = dialGeometry(width, 0.0f);
        EXPECT_EQ(dial.radius, 50);
        EXPECT_EQ(dial.circleTopLeft, (DialPoint{0, 0}));
        EXPECT_EQ(dial.circleBottomRight, (DialPoint{100, 100}));
        const struct {
            const char *text;
            DialPoint at;
        } labels[] = {{"0°", {45, 7}}, {"90°", {7, 45}}, {"180°", {40, 80}}, {"270°", {73, 45}}};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(dial.labels[i].text, QString::fromUtf8(labels[i].text));
            EXPECT_EQ(dial.labels[i].topLeft, labels[i].at);
        }
    }
}

TEST(DialGeometry, PointerEnds)
{
    const struct {
        int width;
        float kot;
        DialPoint end;
    } cases[] = {
        {100, 0.0f, {50, 0}},
        {100, 90.0f, {0, 50}},
        {100, 180.0f, {50, 100}},
        {100, 270.0f, {100, 50}},
        {101, 90.0f, {0, 50}},
        {101, 270.0f, {100, 50}},
        // sin(45°) × 50 = 35.33 and cos = 35.38: both round to 35.
        {100, 45.0f, {15, 15}},
        {100, 359.9f, {50, 0}},
        {0, 123.0f, {0, 0}},
        {100, std::nanf(""), {50, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << ", kot " << c.kot);
        const DialGeometry dial = dialGeometry(c.width, c.kot);
        EXPECT_EQ(dial.pointerFrom, (DialPoint{c.width / 2, c.width / 2}));
        EXPECT_EQ(dial.pointerTo, c.end);
    }
}
