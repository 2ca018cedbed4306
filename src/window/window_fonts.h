// SPDX-License-Identifier: MIT
#pragma once

// The layout's fonts are Windows fonts given in pixels. Where a font is missing, a look-alike
// of the same pixel size stands in, so captions keep the size the fixed geometry was made for.

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

// The named family followed by its stand-ins.
QStringList fontFamiliesWithFallbacks(const QString &family);

QFont windowFont(const QString &family, int pixelSize, bool bold = false);

// The form gives each font's size as the dynamic property "fontPixelSize" (the form format
// knows only point sizes); applies it, with the stand-in families, to `root` and its children.
void applyPixelFonts(QWidget *root);
