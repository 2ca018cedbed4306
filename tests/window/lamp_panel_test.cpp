// SPDX-License-Identifier: MIT
// The lamp panel paints the colour it was given.

#include "colours.h"
#include "lamp_panel.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

TEST(LampPanel, ShowsTheColourLastSet)
{
    LampPanel lamp;
    lamp.resize(12, 12);
    for (const quint32 next : {colour::Green, colour::Red, colour::Green, colour::DarkGreen}) {
        SCOPED_TRACE(next);
        setLampColour(&lamp, next);
        EXPECT_EQ(lampColour(&lamp), next);
        QImage image(lamp.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        lamp.render(&image);
        EXPECT_EQ(image.pixelColor(6, 6), colourFromNumber(next));
    }
}

} // namespace
