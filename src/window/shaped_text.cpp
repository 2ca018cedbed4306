// SPDX-License-Identifier: MIT
#include "shaped_text.h"

#include <QTextLayout>
#include <QTextOption>

ShapedText shapeAlone(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setPosition(QPointF(0.0, 0.0));
    layout.endLayout();
    return {line.glyphRuns(), line.horizontalAdvance(), line.ascent(), line.descent()};
}
