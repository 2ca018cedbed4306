// SPDX-License-Identifier: MIT
#include "colours.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

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

// A lamp keeps its last two colours in two palette roles and shows one of them as its
// background. The communication lamp blinks at every poll step: switching the shown role only
// repaints, while a palette change also sends change events through the widget.
constexpr QPalette::ColorRole LampRoles[2] = {QPalette::Window, QPalette::AlternateBase};

QPalette::ColorRole otherLampRole(QPalette::ColorRole shown)
{
    return shown == LampRoles[0] ? LampRoles[1] : LampRoles[0];
}

// Whether `role` holds `colour` in every colour group, as a lamp colour set earlier does.
bool holdsEverywhere(const QPalette &palette, QPalette::ColorRole role, const QColor &colour)
{
    return palette.color(QPalette::Active, role) == colour
           && palette.color(QPalette::Inactive, role) == colour
           && palette.color(QPalette::Disabled, role) == colour;
}

} // namespace

void setLampColour(QWidget *widget, quint32 value)
{
    const QColor colour = colourFromNumber(value);
    const QPalette::ColorRole shown = widget->backgroundRole();
    const QPalette::ColorRole other = otherLampRole(shown);
    if (widget->autoFillBackground() && (shown == LampRoles[0] || shown == LampRoles[1])) {
        if (holdsEverywhere(widget->palette(), shown, colour))
            return;
        if (holdsEverywhere(widget->palette(), other, colour)) {
            widget->setBackgroundRole(other);
            return;
        }
    }
    QPalette palette = widget->palette();
    // Every colour group, so a disabled or inactive window shows the same state.
    palette.setColor(other, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    widget->setBackgroundRole(other);
}

quint32 lampColour(const QWidget *widget)
{
    return colourNumber(widget->palette().color(QPalette::Active, widget->backgroundRole()));
}

quint32 buttonFaceColour()
{
    return colourNumber(QApplication::palette().color(QPalette::Active, QPalette::Button));
}
