// SPDX-License-Identifier: MIT
#include "echo_label.h"

#include "copied_picture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <optional>

EchoLabel::EchoLabel(QWidget *parent) : QLabel(parent)
{
    // The label paints its own background, so the window beneath is not painted again each
    // time the echo changes or the two echo labels change places, several times a second.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool EchoLabel::isEchoText(const QString &text)
{
    qsizetype wordLength = 0;
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        if (code == u' ' || code == u'\n') {
            wordLength = 0;
            continue;
        }
        // Letters and digits of the Latin alphabet only: no shaping across words to miss.
        const bool plain = (code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'Z')
                           || (code >= u'a' && code <= u'z');
        if (!plain || ++wordLength > 2)
            return false;
    }
    return true;
}

QHash<QString, EchoLabel::Words> &EchoLabel::wordsByFont()
{
    static QHash<QString, Words> byFont;
    return byFont;
}

void EchoLabel::forgetWords()
{
    wordsByFont().clear();
}

EchoLabel::Words &EchoLabel::wordsIn(const QFont &font)
{
    // Shaped glyphs hold on to their font's engine: they go while the application still has its
    // fonts, not after it, with the program's other static data.
    [[maybe_unused]] static const bool forgottenAtExit = [] {
        qAddPostRoutine(&EchoLabel::forgetWords);
        return true;
    }();
    return wordsByFont()[font.key()];
}

namespace {

// Words have at most two characters of 16 bits: both make the key.
quint32 wordKey(QStringView text)
{
    quint32 key = 0;
    for (const QChar character : text)
        key = (key << 16) | character.unicode();
    return key;
}

bool isHexDigit(QChar character)
{
    return (character >= u'0' && character <= u'9') || (character >= u'A' && character <= u'F');
}

} // namespace

const ShapedText &EchoLabel::word(Words &words, QStringView text, const QFont &font)
{
    const quint32 key = wordKey(text);
    auto found = words.constFind(key);
    if (found != words.constEnd())
        return *found;
    // A byte's two digits: the first of the 256 to be needed brings all of them.
    if (text.size() == 2 && isHexDigit(text[0]) && isHexDigit(text[1])) {
        for (int value = 0; value < 256; ++value) {
            const QString byte = QString::number(value, 16).rightJustified(2, u'0').toUpper();
            if (!words.contains(wordKey(byte)))
                words.insert(wordKey(byte), shapeAlone(byte + u' ', font));
        }
        return *words.constFind(key);
    }
    // The word and its blank, shaped as the label's own layout shapes them.
    return *words.insert(key, shapeAlone(text.toString() + u' ', font));
}

bool EchoLabel::drawsItself(const QString &content) const
{
    const Qt::Alignment placing = alignment() & (Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask);
    return isEnabled() && !content.isEmpty() && !wordWrap() && isEchoText(content) && frameWidth() == 0
           && margin() == 0 && indent() <= 0 && placing == (Qt::AlignLeft | Qt::AlignTop);
}

namespace {

// Everything an echo label's pixels depend on, when it draws itself into an image at a whole
// pixel offset and at a pixel ratio of 1.
struct Look {
    QString text;
    QSize size;
    QString font;
    QRgb background = 0;
    QRgb pen = 0;
    QImage::Format format = QImage::Format_Invalid;

    bool operator==(const Look &) const = default;
};

// The two echo labels change places once a poll cycle, and the one that comes to show is
// painted whole. With a standing shaft its text is the text painted last time: then the picture
// of it is kept and copied instead of drawing its glyphs again. Both labels share it.
struct Pictures {
    std::optional<Look> drawn;    // what was drawn last
    std::optional<Look> pictured; // what `picture` shows
    QImage picture;
};

Pictures &pictures()
{
    static Pictures shared;
    return shared;
}

} // namespace

void EchoLabel::paintEvent(QPaintEvent *event)
{
    const QString content = text();
    if (!drawsItself(content)) {
        {
            // The window's own background colour, which the label inherits and would show
            // through.
            QPainter background(this);
            background.fillRect(event->rect(), palette().brush(QPalette::Window));
        }
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    std::optional<Look> look;
    const QBrush background = palette().brush(QPalette::Window);
    const QBrush ink = palette().brush(foregroundRole());
    if (const std::optional<QImage::Format> format = copyableTarget(painter);
        format && background.style() == Qt::SolidPattern && ink.style() == Qt::SolidPattern) {
        look = Look{content, size(), font().key(), background.color().rgba(), ink.color().rgba(), *format};
    }
    Pictures &kept = pictures();
    if (look && kept.drawn == look && kept.pictured != look) {
        kept.picture = drawnPicture(size(), look->format,
                                    [&](QPainter &onPicture) { draw(onPicture, rect(), content); });
        kept.pictured = look;
    }
    if (look && kept.pictured == look) {
        copyPicture(painter, kept.picture);
        return;
    }
    draw(painter, event->rect(), content);
    kept.drawn = look;
}

void EchoLabel::draw(QPainter &painter, const QRect &background, const QString &content) const
{
    // The window's own background colour, which the label inherits and would show through.
    painter.fillRect(background, palette().brush(QPalette::Window));
    const QRect area = contentsRect();
    painter.setClipRect(area, Qt::IntersectClip);
    // The pen the style gives a label's text.
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));

    // Lines stand where the label's layout puts them: each starts on a whole pixel, one font
    // height and the leading below the last, and no line is drawn once the lines so far fill
    // the label.
    const QFontMetricsF metrics(font());
    Words &words = wordsIn(font());
    const qreal leading = metrics.leading();
    const qreal lineHeight = metrics.ascent() + metrics.descent();
    qreal top = -leading;
    for (const QStringView lineText : QStringView(content).split(u'\n')) {
        top = std::ceil(top + leading);
        qreal x = area.left();
        // Every blank moves on by its own width, also where two stand together.
        for (const QStringView wordText : lineText.split(u' ')) {
            const ShapedText &shaped = word(words, wordText, font());
            for (const QGlyphRun &run : shaped.glyphs)
                painter.drawGlyphRun(QPointF(x, area.top() + top), run);
            x += shaped.advance;
        }
        top += lineHeight;
        if (top >= area.height())
            break;
    }
}
