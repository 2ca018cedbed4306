// SPDX-License-Identifier: MIT
#pragma once

// A label for the hexadecimal echo of the poll replies. Its text changes once a poll cycle and
// is made of a few short words only: a command letter and bytes as two hex digits, separated
// by blanks. A plain label lays out and shapes its whole text again at every repaint; this one
// shapes each word once, keeps the glyphs, and draws a line by placing the words one after
// the other where the label would have drawn them. Any other text, or a disabled label, is
// drawn by the label itself. The label is opaque: it fills itself with the window's background
// colour first.
//
// Blending a word's glyphs into the window costs far more than copying the same pixels: on a
// plain background at a scale of 1, each word is drawn once into a picture of its own cell (the
// word and its blank, on the background colour, at the same fraction of a pixel), and the echo
// is painted by copying those pictures. A line with a word whose glyphs would reach out of its
// cell is drawn glyph by glyph, as is everything on a background that is no plain colour.

#include <QColor>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QLabel>

#include <array>
#include <memory>

class EchoLabel : public QLabel {
    Q_OBJECT
public:
    explicit EchoLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // A word with its trailing blank: the glyphs laid out from x 0 on the baseline at the
    // font's ascent, and how far the next word starts.
    struct Word {
        quint32 key = 0;
        QList<QGlyphRun> glyphs;
        qreal advance = 0.0;
        // Where the glyphs' ink reaches, from the word's start on its line's top.
        QRectF ink;
        // Where each glyph starts, in 64ths of a pixel from the word's start.
        QList<int> glyphStarts;
    };
    const Word &word(QStringView text);
    static quint32 wordKey(QStringView text);
    // True when the text is made of words of at most two Latin letters or digits, blanks and
    // line feeds.
    static bool isEchoText(const QString &text);
    // The word pictures, shared by the echo labels of a thread; they are drawn for one font,
    // pixel format, background and text colour, and line height at a time.
    struct PictureSetting {
        QString font;
        QImage::Format format = QImage::Format_Invalid;
        QRgb background = 0;
        QRgb pen = 0;
        int lineHeight = 0;
        bool operator==(const PictureSetting &) const = default;
    };
    struct WordPictures {
        PictureSetting setting;
        // By word and the fraction of a pixel it starts at.
        QHash<quint64, QImage> pictures;
        // For each 64th of a pixel, the step of the font engine's glyph placing it falls in.
        std::array<quint8, 64> fractionStep{};
        bool stepsMeasured = false;
        // Whether a painter on a picture draws glyphs as one on the window does.
        bool drawnDirectly = false;
        // By word: for each fraction, the first fraction that draws it alike.
        QHash<quint32, std::array<quint8, 64>> sameDrawing;
    };
    // The pictures the echo labels of this thread share.
    static std::shared_ptr<WordPictures> sharedPictures();
    // The picture of `shaped` starting `fraction` 64ths of a pixel to the right of a pixel edge:
    // its cell up to the next word's first pixel, on the background, one line high. Null when the
    // ink would not fit in it.
    QImage picture(const Word &shaped, int fraction);
    // The first fraction at which `shaped` is drawn as at `fraction`, pixel for pixel.
    int sameDrawingFraction(const Word &shaped, int fraction);
    void measureFractionSteps();
    // `shaped` drawn `start` pixels from the left of a picture `width` pixels wide, by a painter
    // on a widget or on the picture itself.
    QImage drawPicture(const Word &shaped, qreal start, int width, bool throughWidget) const;
    void dropPictures();

    QHash<quint32, Word> m_words;
    std::shared_ptr<WordPictures> m_pictures;
};
