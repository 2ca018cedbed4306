// SPDX-License-Identifier: MIT
#include "echo_label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <QVarLengthArray>

#include <cmath>
#include <memory>

namespace {

// Words start at whole 64ths of a pixel, as the label's layout places them.
constexpr int Fractions = 64;
// Pictures kept before all are dropped: a few hundred words at a few fractions each.
constexpr qsizetype MostPictures = 4096;

// Draws glyph runs through a widget's painter, so that the glyphs take the form they take when
// the echo label draws them into the window (a painter on an image may draw them otherwise).
class GlyphCanvas : public QWidget {
public:
    QList<QGlyphRun> glyphs;
    QPointF origin;
    QBrush pen;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QPen(pen, painter.pen().widthF()));
        for (const QGlyphRun &run : glyphs)
            painter.drawGlyphRun(origin, run);
    }
};

} // namespace

std::shared_ptr<EchoLabel::WordPictures> EchoLabel::sharedPictures()
{
    // The echo labels of a window share their font and colours: one label's pictures serve both.
    thread_local std::weak_ptr<WordPictures> shared;
    std::shared_ptr<WordPictures> pictures = shared.lock();
    if (pictures == nullptr) {
        pictures = std::make_shared<WordPictures>();
        shared = pictures;
    }
    return pictures;
}

EchoLabel::EchoLabel(QWidget *parent) : QLabel(parent)
{
    // The label paints its own background, so the window beneath is not painted again each
    // time the echo changes or the two echo labels change places, several times a second.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pictures = sharedPictures();
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

quint32 EchoLabel::wordKey(QStringView text)
{
    // Words have at most two characters of 16 bits: both make the key.
    quint32 key = 0;
    for (const QChar character : text)
        key = (key << 16) | character.unicode();
    return key;
}

const EchoLabel::Word &EchoLabel::word(QStringView text)
{
    const quint32 key = wordKey(text);
    auto found = m_words.constFind(key);
    if (found != m_words.constEnd())
        return *found;
    // The word and its blank, shaped as the label's own layout shapes them.
    QTextLayout layout(text.toString() + u' ', font());
    layout.setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setPosition(QPointF(0.0, 0.0));
    layout.endLayout();
    Word word;
    word.key = key;
    word.glyphs = line.glyphRuns();
    word.advance = line.horizontalAdvance();
    for (const QGlyphRun &run : std::as_const(word.glyphs)) {
        const QRawFont rawFont = run.rawFont();
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype at = 0; at < indexes.size() && at < positions.size(); ++at) {
            const QRectF ink = rawFont.boundingRect(indexes.at(at)).translated(positions.at(at));
            // A blank draws nothing, wherever it stands.
            if (ink.isEmpty())
                continue;
            word.ink |= ink;
            word.glyphStarts.append(static_cast<int>(std::lround(positions.at(at).x() * Fractions)));
        }
    }
    return *m_words.insert(key, word);
}

QImage EchoLabel::drawPicture(const Word &shaped, qreal start, int width, bool throughWidget) const
{
    const PictureSetting &setting = m_pictures->setting;
    QImage image(width, setting.lineHeight, setting.format);
    image.fill(QColor::fromRgba(setting.background));
    if (!throughWidget) {
        QPainter painter(&image);
        painter.setPen(QPen(QColor::fromRgba(setting.pen), painter.pen().widthF()));
        for (const QGlyphRun &run : shaped.glyphs)
            painter.drawGlyphRun(QPointF(start, 0.0), run);
        return image;
    }
    GlyphCanvas canvas;
    canvas.glyphs = shaped.glyphs;
    canvas.origin = QPointF(start, 0.0);
    canvas.pen = QColor::fromRgba(setting.pen);
    canvas.resize(image.size());
    canvas.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

void EchoLabel::measureFractionSteps()
{
    WordPictures &pictures = *m_pictures;
    // A glyph is drawn alike at some neighbouring fractions of a pixel (the font engine places
    // glyphs at a few steps of a pixel, or at whole pixels): where its picture changes, a step
    // begins. Where a painter on a picture draws glyphs as one on the window does, pictures are
    // drawn that way, which is quicker.
    const Word &probe = word(u"0");
    const int width = static_cast<int>(std::ceil(probe.advance)) + 2;
    pictures.fractionStep.fill(0);
    pictures.drawnDirectly = true;
    QImage last;
    for (int fraction = 0; fraction < Fractions; ++fraction) {
        const qreal start = static_cast<qreal>(fraction) / Fractions;
        QImage next = drawPicture(probe, start, width, true);
        if (next != drawPicture(probe, start, width, false))
            pictures.drawnDirectly = false;
        if (fraction > 0) {
            pictures.fractionStep[static_cast<std::size_t>(fraction)] = static_cast<quint8>(
                pictures.fractionStep[static_cast<std::size_t>(fraction - 1)] + (next != last ? 1 : 0));
        }
        last = std::move(next);
    }
    pictures.stepsMeasured = true;
}

int EchoLabel::sameDrawingFraction(const Word &shaped, int fraction)
{
    WordPictures &pictures = *m_pictures;
    auto found = pictures.sameDrawing.constFind(shaped.key);
    if (found == pictures.sameDrawing.constEnd()) {
        // Two fractions draw the word alike where every glyph lands on the same pixel and the
        // same step within it; each fraction is mapped to the first that does. A word of more
        // glyphs than the placing holds is drawn at each fraction of its own.
        std::array<quint8, Fractions> first{};
        std::array<quint64, Fractions> placings{};
        constexpr qsizetype MostGlyphs = 5;
        for (int start = 0; start < Fractions; ++start) {
            quint64 placing = 0;
            for (const int glyph : shaped.glyphStarts) {
                const int at = start + glyph + 8 * Fractions;
                placing = (placing << 12) | static_cast<quint64>((at / Fractions) << 6)
                          | pictures.fractionStep[static_cast<std::size_t>(at % Fractions)];
            }
            placings[static_cast<std::size_t>(start)] = placing;
            int same = start;
            if (shaped.glyphStarts.size() <= MostGlyphs) {
                for (int earlier = 0; earlier < start; ++earlier) {
                    if (placings[static_cast<std::size_t>(earlier)] == placing) {
                        same = first[static_cast<std::size_t>(earlier)];
                        break;
                    }
                }
            }
            first[static_cast<std::size_t>(start)] = static_cast<quint8>(same);
        }
        found = pictures.sameDrawing.insert(shaped.key, first);
    }
    return (*found)[static_cast<std::size_t>(fraction)];
}

QImage EchoLabel::picture(const Word &shaped, int fraction)
{
    WordPictures &pictures = *m_pictures;
    fraction = sameDrawingFraction(shaped, fraction);
    const quint64 key = (quint64{shaped.key} << 8) | static_cast<quint64>(fraction);
    if (auto found = pictures.pictures.constFind(key); found != pictures.pictures.constEnd())
        return *found;
    if (pictures.pictures.size() >= MostPictures)
        pictures.pictures.clear();
    const qreal start = static_cast<qreal>(fraction) / Fractions;
    // The cell ends where the next word's first pixel is.
    const int width = static_cast<int>(std::floor(start + shaped.advance));
    // The pixels the ink touches, antialiasing included. Ink left of the cell is the caller's
    // to judge: only the clip may take it.
    const QRectF ink = shaped.ink.translated(start, 0.0);
    QImage image;
    if (width > 0 && std::ceil(ink.right()) <= width && std::floor(ink.top()) >= 0.0
        && std::ceil(ink.bottom()) <= pictures.setting.lineHeight)
        image = drawPicture(shaped, start, width, !pictures.drawnDirectly);
    pictures.pictures.insert(key, image);
    return image;
}

void EchoLabel::paintEvent(QPaintEvent *event)
{
    const QBrush background = palette().brush(QPalette::Window);
    {
        // The window's own background colour, which the label inherits and would show through.
        QPainter painter(this);
        painter.fillRect(event->rect(), background);
    }
    const QString content = text();
    const Qt::Alignment placing = alignment() & (Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask);
    if (!isEnabled() || content.isEmpty() || wordWrap() || !isEchoText(content) || frameWidth() != 0
        || margin() != 0 || indent() > 0 || placing != (Qt::AlignLeft | Qt::AlignTop)) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area, Qt::IntersectClip);
    // The pen the style gives a label's text.
    const QBrush pen = palette().brush(foregroundRole());
    painter.setPen(QPen(pen, painter.pen().widthF()));

    // Lines stand where the label's layout puts them: each starts on a whole pixel, one font
    // height and the leading below the last, and no line is drawn once the lines so far fill
    // the label.
    const QFontMetricsF metrics(font());
    const qreal leading = metrics.leading();
    const qreal lineHeight = metrics.ascent() + metrics.descent();

    // Word pictures are copied where the painter reaches whole pixels of an image at a scale of
    // 1, on a plain opaque background, with a plain pen, and where lines do not overlap.
    const QTransform toDevice = painter.deviceTransform();
    const QPaintEngine *engine = painter.paintEngine();
    const QPaintDevice *device = engine != nullptr ? engine->paintDevice() : nullptr;
    bool pictures = device != nullptr && device->devType() == QInternal::Image
                    && toDevice.type() <= QTransform::TxTranslate && toDevice.dx() == std::floor(toDevice.dx())
                    && toDevice.dy() == std::floor(toDevice.dy()) && background.style() == Qt::SolidPattern
                    && background.color().alpha() == 255 && pen.style() == Qt::SolidPattern && leading >= 0.0;
    if (pictures) {
        const PictureSetting setting{font().key(), static_cast<const QImage *>(device)->format(),
                                     background.color().rgba(), pen.color().rgba(),
                                     static_cast<int>(std::ceil(lineHeight))};
        if (setting != m_pictures->setting) {
            dropPictures();
            m_pictures->setting = setting;
        }
        // Before any word of the text is looked at: the measuring shapes a word of its own.
        if (!m_pictures->stepsMeasured)
            measureFractionSteps();
    }

    qreal top = -leading;
    for (const QStringView lineText : QStringView(content).split(u'\n')) {
        top = std::ceil(top + leading);
        const qreal y = area.top() + top;
        // Every blank moves on by its own width, also where two stand together.
        const QList<QStringView> words = lineText.split(u' ');
        for (const QStringView wordText : words)
            word(wordText);
        // Where each word starts, and its picture where the whole line can be copied.
        QVarLengthArray<qreal, 16> starts;
        QVarLengthArray<QImage, 16> cells;
        qreal x = area.left();
        bool linePictures = pictures;
        for (const QStringView wordText : words) {
            const Word &shaped = *m_words.constFind(wordKey(wordText));
            starts.append(x);
            if (shaped.ink.isEmpty()) {
                // A blank leaves the background as it is.
                cells.append(QImage());
            } else if (linePictures) {
                const qreal start = x - std::floor(x);
                const QImage cell = picture(shaped, static_cast<int>(std::lround(start * Fractions)) % Fractions);
                // The first word starts on the clip's edge, which cuts what reaches out to the
                // left of it; any other word's ink must stay in its own cell.
                linePictures = !cell.isNull() && (starts.size() == 1 || std::floor(shaped.ink.left() + start) >= 0.0);
                cells.append(cell);
            }
            x += shaped.advance;
        }
        if (linePictures) {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            for (qsizetype at = 0; at < cells.size(); ++at) {
                if (!cells[at].isNull())
                    painter.drawImage(QPointF(std::floor(starts[at]), y), cells[at]);
            }
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else {
            for (qsizetype at = 0; at < words.size(); ++at) {
                for (const QGlyphRun &run : m_words.constFind(wordKey(words[at]))->glyphs)
                    painter.drawGlyphRun(QPointF(starts[at], y), run);
            }
        }
        top += lineHeight;
        if (top >= area.height())
            break;
    }
}

void EchoLabel::dropPictures()
{
    *m_pictures = WordPictures{};
}

void EchoLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_words.clear();
        dropPictures();
    }
    QLabel::changeEvent(event);
}
