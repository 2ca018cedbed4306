// SPDX-License-Identifier: MIT
#pragma once

// A label for a position readout, whose number changes with nearly every frame while the shaft
// turns. A plain label lays out and shapes its text again at every repaint, which costs many
// times what drawing its few glyphs does. This one shapes each character once, keeps its glyphs,
// and places the characters one after the other where the label's own layout would put them.
// Only texts of digits, signs, separators, blanks and the degree sign are drawn that way, on one
// line, in a label without margin or rich text; anything else is drawn by the label itself.

#include "shaped_text.h"

#include <QHash>
#include <QLabel>

class ReadoutLabel : public QLabel {
    Q_OBJECT
public:
    explicit ReadoutLabel(QWidget *parent = nullptr);

    // True when this label draws `text` itself: every character is one it shapes alone, and
    // the label's settings are ones whose placing it follows.
    bool drawsItself(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // A character shaped alone, and whether its line has the font's own height, so that it may
    // stand in a line of the others.
    struct Shaped : ShapedText {
        bool fits = false;
    };
    const Shaped &shaped(QChar character);

    QHash<char16_t, Shaped> m_characters;
};
