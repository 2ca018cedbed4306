// SPDX-License-Identifier: MIT
#include "lamp_panel.h"

#include <QPainter>

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
    {
        QPainter painter(this);
        painter.fillRect(rect(), colour());
    }
    m_colourShown = true;
    QLabel::paintEvent(event);
}
