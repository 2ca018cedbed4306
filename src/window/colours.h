// SPDX-License-Identifier: MIT
#pragma once

// Colours are kept as the 24-bit numbers the encoder documentation uses (red in the low byte:
// 255 is red, 16711680 is blue), so state and tests compare plain numbers.

#include <QColor>
#include <QtGlobal>

class QWidget;

namespace colour {
inline constexpr quint32 Black = 0;
inline constexpr quint32 Silver = 12632256;
inline constexpr quint32 Grey = 8421504;
inline constexpr quint32 Red = 255;
inline constexpr quint32 Orange = 43775;
inline constexpr quint32 Green = 65280;
inline constexpr quint32 DarkGreen = 32768;
inline constexpr quint32 LightRed = 5987327;
inline constexpr quint32 White = 16777215;
inline constexpr quint32 Blue = 16711680;
} // namespace colour

QColor colourFromNumber(quint32 value);
quint32 colourNumber(const QColor &colour);

// A lamp's colour is the background of a panel (or any widget that fills its background),
// the same in every colour group.
void setLampColour(QWidget *widget, quint32 value);
quint32 lampColour(const QWidget *widget);

// The background the window itself is painted with; the header label returns to it.
quint32 buttonFaceColour();
