// SPDX-License-Identifier: MIT
// The colour numbers, the lamp colour of a widget, and text colours readable on a background.

#include "colours.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(ColourNumbers, RedIsTheLowByte)
{
    const struct {
        quint32 number;
        QColor colour;
    } cases[] = {
        {255, QColor(255, 0, 0)},
        {16711680, QColor(0, 0, 255)},
        {65280, QColor(0, 255, 0)},
        {17408, QColor(0, 68, 0)},
        {4227327, QColor(255, 128, 64)},
        {12632256, QColor(192, 192, 192)},
        {5987327, QColor(255, 91, 91)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(colourFromNumber(c.number), c.colour);
        EXPECT_EQ(colourNumber(c.colour), c.number);
    }
}

TEST(ColourNumbers, LampColourRoundTripsAndToggles)
{
    QLabel lamp;
    setLampColour(&lamp, 17408);
    EXPECT_EQ(lampColour(&lamp), 17408u);
    EXPECT_TRUE(lamp.autoFillBackground());
    // The communication lamp blinks by XOR with green.
    setLampColour(&lamp, lampColour(&lamp) ^ colour::Green);
    EXPECT_EQ(lampColour(&lamp), 47872u);
    // A disabled lamp shows the same colour.
    EXPECT_EQ(colourNumber(lamp.palette().color(QPalette::Disabled, QPalette::Window)), 47872u);
    // Blinking back and forth, and on to a third colour, always shows the colour last set.
    for (const quint32 next : {17408u, 47872u, 17408u, colour::Red, 47872u}) {
        SCOPED_TRACE(next);
        setLampColour(&lamp, next);
        EXPECT_EQ(lampColour(&lamp), next);
        EXPECT_EQ(lamp.palette().color(QPalette::Active, QPalette::Window), colourFromNumber(next));
    }
}

TEST(ReadableColours, EveryLampColourGetsATextThatReadsOnIt)
{
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(Qt::white, Qt::white), 1.0, 1e-9);
    const struct {
        quint32 lamp;
        Qt::GlobalColor text;
    } cases[] = {
        {colour::Silver, Qt::black}, {colour::Grey, Qt::black},     {colour::Red, Qt::black},
        {colour::Orange, Qt::black}, {colour::Green, Qt::black},    {colour::LightRed, Qt::black},
        {colour::White, Qt::black},  {colour::DarkGreen, Qt::white}, {colour::Blue, Qt::white},
        {17408, Qt::white},          {47872, Qt::black}, // the communication lamp's two greens
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lamp);
        const QColor lamp = colourFromNumber(c.lamp);
        EXPECT_EQ(readableTextOn(lamp), QColor(c.text));
        EXPECT_GE(contrastRatio(readableTextOn(lamp), lamp), 4.5);
    }
}

TEST(ReadableColours, RedAndBlueGiveWayToLighterShadesOnADarkBackground)
{
    const QColor light(0xF0, 0xF0, 0xF0);
    const QColor dark(0x3D, 0x3D, 0x3D);
    EXPECT_EQ(alertTextOn(light), colourFromNumber(colour::Red));
    EXPECT_EQ(pointerColourOn(light), colourFromNumber(colour::Blue));
    EXPECT_GE(contrastRatio(alertTextOn(dark), dark), 4.5);
    EXPECT_GE(contrastRatio(pointerColourOn(dark), dark), 3.0);
}

} // namespace
