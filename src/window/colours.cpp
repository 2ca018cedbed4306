// SPDX-License-Identifier: MIT
#include "colours.h"

#include "lamp_panel.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

QColor colourFromNumber(quint32 value)
{
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

quint32 colourNumber(const QColor &colour)
{
    const QRgb rgb = colour.rgb();
    return static_cast<quint32>(qRed(rgb)) | (static_cast<quint32>(qGreen(rgb)) << 8)
           | (static_cast<quint32>(qBlue(rgb)) << 16);
}

namespace {

// The relative luminance of a colour on the sRGB screen, 0 (black) to 1 (white).
double luminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableTextOn(const QColor &background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}

QColor alertTextOn(const QColor &background)
{
    const QColor red = colourFromNumber(colour::Red);
    // Red reads well enough on the light backgrounds it was chosen for; on a dark one a light red
    // reaches 4.5:1.
    if (contrastRatio(red, background) >= 3.0)
        return red;
    return QColor(0xFF, 0x8C, 0x8C);
}

QColor pointerColourOn(const QColor &background)
{
    const QColor blue = colourFromNumber(colour::Blue);
    // A line two pixels wide is a graphic, for which 3:1 suffices.
    if (contrastRatio(blue, background) >= 3.0)
        return blue;
    return QColor(0x64, 0x95, 0xED);
}

void setReadableText(QWidget *widget, const QColor &background)
{
    const QColor text = readableTextOn(background);
    QPalette palette = widget->palette();
    if (palette.color(QPalette::Active, QPalette::WindowText) == text
        && palette.color(QPalette::Active, QPalette::Text) == text)
        return;
    // Every colour group: an inactive window reads the same. A disabled control keeps a dimmed
    // text, half way to the background.
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Active, role, text);
        palette.setColor(QPalette::Inactive, role, text);
        palette.setColor(QPalette::Disabled, role,
                         QColor((text.red() + background.red()) / 2, (text.green() + background.green()) / 2,
                                (text.blue() + background.blue()) / 2));
    }
    widget->setPalette(palette);
}

void makeOwnBackgroundsReadable(QWidget *form)
{
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        if (widget->testAttribute(Qt::WA_SetPalette) && widget->autoFillBackground())
            setReadableText(widget, widget->palette().color(QPalette::Active, QPalette::Window));
    }
}

void setLampColour(QWidget *widget, quint32 value)
{
    const QColor colour = colourFromNumber(value);
    if (auto *lamp = qobject_cast<LampPanel *>(widget)) {
        lamp->setColour(colour);
        return;
    }
    QPalette palette = widget->palette();
    // Every colour group, so a disabled or inactive window shows the same state.
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    widget->setBackgroundRole(QPalette::Window);
    setReadableText(widget, colour);
}

quint32 lampColour(const QWidget *widget)
{
    if (const auto *lamp = qobject_cast<const LampPanel *>(widget))
        return colourNumber(lamp->colour());
    return colourNumber(widget->palette().color(QPalette::Active, QPalette::Window));
}

quint32 buttonFaceColour()
{
    return colourNumber(QApplication::palette().color(QPalette::Active, QPalette::Button));
}
