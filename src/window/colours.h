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

// The contrast ratio of two colours as the web's accessibility guidelines define it: from 1
// (the same) to 21 (black on white). Text wants 4.5 or more.
double contrastRatio(const QColor &a, const QColor &b);
// Black or white, whichever stands out more on `background`.
QColor readableTextOn(const QColor &background);
// Gives a widget that fills its own background text that can be read on it, whatever the
// desktop's colour scheme says (a dark scheme's white text on a white box cannot).
void setReadableText(QWidget *widget, const QColor &background);
// The text of a port that cannot be opened: red, or a lighter red on a dark background, where
// red is hard to read.
QColor alertTextOn(const QColor &background);
// The dial's pointer: blue, or a lighter blue where blue would hardly stand out (a dark scheme).
QColor pointerColourOn(const QColor &background);
// The same for every control of `form` that paints its own background colour; the controls on
// such a background take the text colour from it.
void makeOwnBackgroundsReadable(QWidget *form);

// A lamp's colour is the background of a panel (or any widget that fills its background),
// the same in every colour group, with a text colour that can be read on it.
void setLampColour(QWidget *widget, quint32 value);
quint32 lampColour(const QWidget *widget);

// The background the window itself is painted with; the header label returns to it.
quint32 buttonFaceColour();
