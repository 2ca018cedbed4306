// SPDX-License-Identifier: MIT
#include "colours.h"

#include "lamp_panel.h"

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

void setLampColour(QWidget *widget, quint32 value)
{
    if (auto *lamp = qobject_cast<LampPanel *>(widget)) {
        lamp->setColour(colourFromNumber(value));
        return;
    }
    QPalette palette = widget->palette();
    // Every colour group, so a disabled or inactive window shows the same state.
    palette.setColor(QPalette::Window, colourFromNumber(value));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    widget->setBackgroundRole(QPalette::Window);
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
