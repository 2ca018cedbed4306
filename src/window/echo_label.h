// SPDX-License-Identifier: MIT
#pragma once

// A label for the hexadecimal echo of the poll replies. Its text changes once a poll cycle and
// is made of a few short words only: a command letter and bytes as two hex digits, separated
// by blanks. A plain label lays out and shapes its whole text again at every repaint; this one
// shapes each word once, keeps the glyphs, and draws a line by placing the words one after
// the other where the label would have drawn them. Both echo labels share the words shaped in
// their font, and the 256 bytes are shaped together the first time one is needed, so that a
// turning shaft's new bytes do not cost a shaping now and then for minutes. A text drawn a second
// time in a row, as a standing shaft's echo is, is kept as a picture and copied from then on. Any other text, or a disabled label, is
// drawn by the label itself. The label is opaque: it fills itself with the window's background
// colour first.

#include "shaped_text.h"

#include <QHash>
#include <QLabel>

class QPainter;

class EchoLabel : public QLabel {
    Q_OBJECT
public:
    explicit EchoLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    using Words = QHash<quint32, ShapedText>;

    // The words shaped in `font` so far, shared by every echo label.
    static Words &wordsIn(const QFont &font);
    static QHash<QString, Words> &wordsByFont();
    static void forgetWords();
    // A word with its trailing blank, shaped once.
    static const ShapedText &word(Words &words, QStringView text, const QFont &font);
    // True when the text is made of words of at most two Latin letters or digits, blanks and
    // line feeds.
    static bool isEchoText(const QString &text);
    // Whether the label draws `content` itself, or leaves it to QLabel.
    bool drawsItself(const QString &content) const;
    // Fills `background` and draws the lines of `content` as the label's layout places them.
    void draw(QPainter &painter, const QRect &background, const QString &content) const;
};
