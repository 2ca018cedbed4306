// SPDX-License-Identifier: MIT
// How large the window may be on a screen and where it goes there.

#include "window_placement.h"

#include <gtest/gtest.h>

namespace {

using window_placement::fitWithin;
using window_placement::placedWithin;

TEST(FittedClientSize, TheLayoutWhereItFitsOtherwiseAsLargeAsFitsWithRoomForTheScrollBars)
{
    const QSize bars(15, 16); // vertical bar's width, horizontal bar's height
    const struct {
        const char *what;
        QSize layout, frame, area;
        window_placement::Fit fit;
    } cases[] = {
        {"room to spare", {1294, 571}, {2, 21}, {1600, 1000}, {{1294, 571}, false, false}},
        {"fits to the pixel, frame and all", {1294, 571}, {2, 21}, {1296, 592}, {{1294, 571}, false, false}},
        {"a pixel too narrow: the height takes the horizontal bar", {1294, 571}, {2, 21}, {1295, 720},
         {{1293, 587}, true, false}},
        {"too narrow; a 1.5x full HD screen", {1294, 571}, {0, 37}, {1280, 720}, {{1280, 587}, true, false}},
        {"too low: the width takes the vertical bar", {717, 571}, {2, 21}, {1366, 500}, {{732, 479}, false, true}},
        {"too low, and the vertical bar leaves the width too narrow", {717, 571}, {0, 0}, {725, 500},
         {{725, 500}, true, true}},
        {"too narrow, and the horizontal bar makes it too low", {1294, 571}, {0, 0}, {1280, 580},
         {{1280, 580}, true, true}},
        {"too narrow and too low", {1294, 571}, {2, 21}, {960, 540}, {{958, 519}, true, true}},
        {"a frame larger than the screen", {717, 505}, {20, 30}, {10, 10}, {{1, 1}, true, true}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const window_placement::Fit fit = fitWithin(c.layout, c.frame, c.area, bars);
        EXPECT_EQ(fit.client, c.fit.client);
        EXPECT_EQ(fit.scrollsAcross, c.fit.scrollsAcross);
        EXPECT_EQ(fit.scrollsDown, c.fit.scrollsDown);
    }
}

TEST(PlacedWithin, TheWantedPlaceWhereTheWindowFitsOtherwiseMovedJustInside)
{
    const QRect laptop(0, 0, 1366, 768);
    const struct {
        const char *what;
        QPoint wanted;
        QSize outer;
        QRect area;
        QPoint placed;
    } cases[] = {
        {"fits where wanted", {439, 82}, {719, 526}, laptop, {439, 82}},
        {"touches the right and bottom edges", {647, 242}, {719, 526}, laptop, {647, 242}},
        {"past the right edge", {439, 82}, {1296, 592}, laptop, {70, 82}},
        {"past the bottom edge", {439, 82}, {719, 700}, laptop, {439, 68}},
        {"before the left and top edges", {-50, -20}, {719, 526}, laptop, {0, 0}},
        {"below a panel at the top", {439, 10}, {719, 526}, {0, 30, 1366, 738}, {439, 30}},
        {"an area beside a dock on the left", {439, 82}, {1024, 600}, {100, 40, 1024, 600}, {100, 40}},
        {"larger than the area: left and top edges inside", {439, 82}, {2000, 900}, laptop, {0, 0}},
        {"a second screen to the right", {1500, 82}, {719, 526}, {1366, 0, 1920, 1080}, {1500, 82}},
        {"a second screen, past its right edge", {3000, 82}, {719, 526}, {1366, 0, 1920, 1080}, {2567, 82}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(placedWithin(c.wanted, c.outer, c.area), c.placed);
    }
}

} // namespace
