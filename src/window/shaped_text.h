// SPDX-License-Identifier: MIT
#pragma once

// A short text shaped on its own, as a label's layout shapes a line: the glyphs laid out from
// x 0 on the baseline of the line, and the line's advance, ascent and descent. The echo and the
// position readouts keep such pieces and place them one after the other instead of laying out
// their whole text again at every repaint.

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QString>

struct ShapedText {
    QList<QGlyphRun> glyphs;
    // How far the next piece starts; blanks at the end count.
    qreal advance = 0.0;
    qreal ascent = 0.0;
    qreal descent = 0.0;
};

ShapedText shapeAlone(const QString &text, const QFont &font);
