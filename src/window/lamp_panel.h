// SPDX-License-Identifier: MIT
#pragma once

// A panel whose background is a lamp colour kept in the widget itself. The communication lamp
// changes colour at every poll step; changing a palette that often would send change events
// through the widget each time, where this only repaints.

#include <QLabel>

class LampPanel : public QLabel {
    Q_OBJECT
public:
    explicit LampPanel(QWidget *parent = nullptr);

    // The lamp colour; until one is set, the palette's window colour from the form.
    QColor colour() const;
    void setColour(const QColor &colour);
    // False from a change of colour until the panel has been painted in the new one.
    bool colourShown() const { return m_colourShown; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
    bool m_colourShown = true;
};
