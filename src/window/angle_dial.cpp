// SPDX-License-Identifier: MIT
#include "angle_dial.h"

#include "colours.h"

#include "dial_geometry.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace {

QPoint toPoint(const quarn::DialPoint &point)
{
    return {point.x, point.y};
}

} // namespace

AngleDial::AngleDial(QWidget *parent) : QWidget(parent) {}

void AngleDial::setAngle(float degrees)
{
    m_angle = degrees;
    update();
}

void AngleDial::paintEvent(QPaintEvent *)
{
    PaintBoxKotPaint();
}

void AngleDial::PaintBoxKotPaint()
{
    const quarn::DialGeometry dial = quarn::dialGeometry(width(), m_angle);
    QPainter painter(this);

    painter.setPen(QPen(colourFromNumber(colour::Black), 1, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    // The square's far corner is exclusive, as in a window system's rectangle: the outline's
    // pixels run from the near edge to one before the far one.
    const QPointF topLeft = toPoint(dial.circleTopLeft);
    const QPointF bottomRight = toPoint(dial.circleBottomRight);
    painter.drawEllipse(QRectF(topLeft, bottomRight - QPointF(1.0, 1.0)));

    // Label positions are top-left corners; text is drawn from its baseline.
    const int ascent = QFontMetrics(font()).ascent();
    for (const quarn::DialLabel &label : dial.labels)
        painter.drawText(QPoint(label.topLeft.x, label.topLeft.y + ascent), label.text);

    painter.setPen(QPen(colourFromNumber(colour::Blue), 2, Qt::SolidLine));
    painter.drawLine(toPoint(dial.pointerFrom), toPoint(dial.pointerTo));
}
