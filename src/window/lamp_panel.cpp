// SPDX-License-Identifier: MIT
#include "lamp_panel.h"

#include <QMovie>
#include <QPainter>
#include <QPicture>

LampPanel::LampPanel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor LampPanel::colour() const
{
    return m_colour.isValid() ? m_colour : palette().color(QPalette::Active, QPalette::Window);
}

void LampPanel::setColour(const QColor &colour)
{
    if (colour == this->colour() && m_colour.isValid())
        return;
    m_colour = colour;
    m_colourShown = false;
    // The panel paints its own background from here on.
    setAutoFillBackground(false);
    update();
}

void LampPanel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(rect(), colour());
    m_colourShown = true;
    // The communication lamp blinks at every frame: without text, all the label would add is its
    // frame, drawn here in the same painter rather than in a second one the label would open.
    if (text().isEmpty() && pixmap().isNull() && picture().isNull() && movie() == nullptr) {
        drawFrame(&painter);
        return;
    }
    painter.end();
    QLabel::paintEvent(event);
}
