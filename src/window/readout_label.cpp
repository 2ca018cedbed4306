// SPDX-License-Identifier: MIT
#include "readout_label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QVarLengthArray>

#include <cmath>

ReadoutLabel::ReadoutLabel(QWidget *parent) : QLabel(parent) {}

namespace {

// Characters that no font shapes together with their neighbours: no kerning, no ligatures.
bool isReadoutCharacter(QChar character)
{
    const char16_t code = character.unicode();
    return (code >= u'0' && code <= u'9') || code == u' ' || code == u'.' || code == u',' || code == u'-'
           || code == u'+' || code == u'\u00B0';
}

} // namespace

const ReadoutLabel::Shaped &ReadoutLabel::shaped(QChar character)
{
    auto found = m_characters.constFind(character.unicode());
    if (found != m_characters.constEnd())
        return *found;
    // The character shaped as the label's own layout shapes a line of text.
    Shaped shaped;
    static_cast<ShapedText &>(shaped) = shapeAlone(QString(character), font());
    // A character drawn from another font may make its line taller, which moves the baseline of
    // the whole text: such a character is left to the label.
    const QFontMetricsF metrics(font());
    shaped.fits = shaped.ascent == metrics.ascent() && shaped.descent == metrics.descent();
    return *m_characters.insert(character.unicode(), shaped);
}

bool ReadoutLabel::drawsItself(const QString &text)
{
    const Qt::Alignment placing = alignment();
    // A label with a frame and no indent of its own keeps half an "x" from the edges it is aligned
    // to; only a centred text is untouched by that.
    const bool indented = indent() > 0 || (indent() < 0 && frameWidth() > 0);
    if (text.isEmpty() || !isEnabled() || textFormat() != Qt::PlainText || wordWrap() || margin() != 0
        || (placing & (Qt::AlignRight | Qt::AlignJustify | Qt::AlignBottom)) != 0
        || (indented && (placing & (Qt::AlignLeft | Qt::AlignTop)) != 0))
        return false;
    for (const QChar character : text) {
        if (!isReadoutCharacter(character) || !shaped(character).fits)
            return false;
    }
    return true;
}

namespace {

// The text layout keeps positions in 64ths of a pixel, cut towards zero from where it is asked
// to draw; so does the painter for each glyph. Starting there, every sum below stays exact.
qreal onLayoutGrid(qreal position)
{
    return std::trunc(position * 64.0) / 64.0;
}

} // namespace

void ReadoutLabel::paintEvent(QPaintEvent *event)
{
    const QString content = text();
    if (!drawsItself(content)) {
        QLabel::paintEvent(event);
        return;
    }
    // Where the label's text layout puts a single line: its height is the font's, its width the
    // sum of the characters' advances, trailing blanks included; centred, or at the top or left
    // edge of the contents, as the alignment says.
    const QRect area = contentsRect();
    const QFontMetricsF metrics(font());
    const qreal height = metrics.ascent() + metrics.descent();
    // Every character was shaped by drawsItself(): look each up once.
    QVarLengthArray<const Shaped *, 16> characters;
    qreal width = 0.0;
    qreal trailingBlanks = 0.0;
    for (const QChar character : content) {
        const Shaped &glyphs = shaped(character);
        characters.append(&glyphs);
        width += glyphs.advance;
        trailingBlanks = character == u' ' ? trailingBlanks + glyphs.advance : 0.0;
    }
    const Qt::Alignment placing = alignment();
    qreal xOffset = 0.0;
    qreal yOffset = 0.0;
    if (placing & Qt::AlignVCenter)
        yOffset = (area.height() - height) / 2;
    if (placing & Qt::AlignHCenter)
        xOffset = (area.width() - width) / 2;

    QPainter painter(this);
    drawFrame(&painter);
    // Text that does not fit is cut at the contents' edges, as the label cuts it.
    const QRectF bounds(area.x() + xOffset, area.y() + yOffset, width - trailingBlanks, height);
    if (!QRectF(area).contains(bounds))
        painter.setClipRect(area, Qt::IntersectClip);
    // The pen the style gives a label's text.
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
    // The glyphs go into one run for each stretch of characters in one font, drawn in one call:
    // a call costs several times what its glyphs do.
    qreal x = onLayoutGrid(area.x() + xOffset);
    const qreal top = onLayoutGrid(area.y() + yOffset);
    QGlyphRun line;
    QList<quint32> indexes;
    QList<QPointF> positions;
    const auto drawLine = [&] {
        if (indexes.isEmpty())
            return;
        line.setGlyphIndexes(indexes);
        line.setPositions(positions);
        painter.drawGlyphRun(QPointF(), line);
        indexes.clear();
        positions.clear();
    };
    for (const Shaped *glyphs : std::as_const(characters)) {
        for (const QGlyphRun &run : glyphs->glyphs) {
            if (run.rawFont() != line.rawFont()) {
                drawLine();
                line.setRawFont(run.rawFont());
            }
            indexes += run.glyphIndexes();
            for (const QPointF &position : run.positions())
                positions.append(QPointF(x, top) + position);
        }
        x += glyphs->advance;
    }
    drawLine();
}

void ReadoutLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_characters.clear();
    QLabel::changeEvent(event);
}
