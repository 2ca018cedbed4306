// SPDX-License-Identifier: MIT
// The lamp panel paints the colour it was given.

#include "colours.h"
#include "label_twin.h"
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

TEST(LampPanel, LooksAsAPlainFramedLabelFilledWithItsColour)
{
    // The communication lamp's frame and no text, then a lamp with a caption; in the form's
    // colours and in a dark scheme, whose frame is drawn in other shades. Each colour comes
    // twice: the second time a lamp without text copies the picture it kept.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x20, 0x22, 0x26));
    dark.setColor(QPalette::WindowText, QColor(0xE8, 0xE8, 0xE0));
    dark.setColor(QPalette::Light, QColor(0x50, 0x50, 0x58));
    dark.setColor(QPalette::Dark, QColor(0x08, 0x08, 0x0A));
    for (const bool darkScheme : {false, true}) {
        for (const QString &caption : {QString(), QStringLiteral("Err")}) {
            SCOPED_TRACE(caption.toStdString() + (darkScheme ? " dark" : ""));
            LampPanel lamp;
            if (darkScheme)
                lamp.setPalette(dark);
            lamp.resize(40, 14);
            lamp.setFrameShape(QFrame::Panel);
            lamp.setFrameShadow(QFrame::Sunken);
            lamp.setAlignment(Qt::AlignCenter);
            lamp.setText(caption);
            for (const quint32 next : {colour::Green, colour::DarkGreen, colour::Silver, colour::Green}) {
                SCOPED_TRACE(next);
                setLampColour(&lamp, next);
                const std::unique_ptr<QLabel> twin = plainTwinOf(lamp);
                QPalette filled = twin->palette();
                filled.setColor(QPalette::Window, colourFromNumber(next));
                twin->setPalette(filled);
                twin->setAutoFillBackground(true);
                twin->setText(caption);
                const QImage expected = painted(*twin);
                EXPECT_TRUE(painted(lamp) == expected);
                // The frame really is drawn: not only the colour.
                QImage bare(lamp.size(), QImage::Format_ARGB32_Premultiplied);
                bare.fill(colourFromNumber(next));
                EXPECT_NE(expected, bare);
            }
        }
    }
}

} // namespace
