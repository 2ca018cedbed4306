// SPDX-License-Identifier: MIT
#pragma once

// A label for the hexadecimal echo of the poll replies. Its text changes once a poll cycle and
// is made of a few short words only: a command letter and bytes as two hex digits, separated
// by blanks. A plain label lays out and shapes its whole text again at every repaint; this one
// shapes each word once, keeps the glyphs, and draws a line by placing the words one after
// the other where the label would have drawn them. Any other text, or a disabled label, is
// drawn by the label itself. The label is opaque: it fills itself with the window's background
// colour first.

#include "shaped_text.h"

#include <QHash>
#include <QLabel>

class EchoLabel : public QLabel {
    Q_OBJECT
public:
    explicit EchoLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // A word with its trailing blank, shaped once.
    const ShapedText &word(QStringView text);
    // True when the text is made of words of at most two Latin letters or digits, blanks and
    // line feeds.
    static bool isEchoText(const QString &text);

    QHash<quint32, ShapedText> m_words;
};
