// SPDX-License-Identifier: MIT
#include "angle_dial.h"

#include "colours.h"

#include "dial_geometry.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace {

QPoint toPoint(const quarn::DialPoint &point)
{
    return {point.x, point.y};
}

} // namespace

AngleDial::AngleDial(QWidget *parent) : QWidget(parent)
{
    // Every pixel is painted here, so nothing beneath has to be repainted with the pointer.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void AngleDial::setAngle(float degrees)
{
    if (!m_hasReading) {
        m_hasReading = true;
        m_angle = degrees;
        update(pointerArea(quarn::dialGeometry(width(), m_angle)));
        return;
    }
    if (degrees == m_angle)
        return;
    const quarn::DialGeometry before = quarn::dialGeometry(width(), m_angle);
    m_angle = degrees;
    const quarn::DialGeometry after = quarn::dialGeometry(width(), m_angle);
    // A pointer drawn between the same pixels looks the same: the reading's last digits change
    // at nearly every poll step while the pointer stands still.
    if (before.pointerFrom == after.pointerFrom && before.pointerTo == after.pointerTo)
        return;
    // Only where the pointer was and where it is now changes; the face is the same.
    update(pointerArea(before).united(pointerArea(after)));
}

void AngleDial::clearReading()
{
    if (!m_hasReading)
        return;
    m_hasReading = false;
    update(pointerArea(quarn::dialGeometry(width(), m_angle)));
}

QRect AngleDial::pointerArea(const quarn::DialGeometry &dial)
{
    // The pen is 2 pixels wide with square caps: a pixel beyond the ends and the sides, and
    // one more for the rounding of a wide line's edges.
    constexpr int reach = 2;
    return QRect(toPoint(dial.pointerFrom), toPoint(dial.pointerTo))
        .normalized()
        .adjusted(-reach, -reach, reach, reach);
}

void AngleDial::paintEvent(QPaintEvent *)
{
    PaintBoxKotPaint();
}

void AngleDial::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange
        || event->type() == QEvent::StyleChange)
        m_face = QPixmap();
    QWidget::changeEvent(event);
}

void AngleDial::resizeEvent(QResizeEvent *event)
{
    m_face = QPixmap();
    QWidget::resizeEvent(event);
}

void AngleDial::drawFace(QPainter &painter) const
{
    const quarn::DialGeometry dial = quarn::dialGeometry(width(), m_angle);
    painter.fillRect(rect(), palette().color(QPalette::Window));

    // Black on the usual light background; a dark colour scheme gets its own text colour.
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::SolidLine));
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
}

void AngleDial::PaintBoxKotPaint()
{
    const qreal ratio = devicePixelRatioF();
    if (m_face.isNull() || m_face.size() != size() * ratio) {
        m_face = QPixmap(size() * ratio);
        m_face.setDevicePixelRatio(ratio);
        QPainter facePainter(&m_face);
        drawFace(facePainter);
    }

    QPainter painter(this);
    painter.drawPixmap(0, 0, m_face);
    if (!m_hasReading)
        return;
    const quarn::DialGeometry dial = quarn::dialGeometry(width(), m_angle);
    painter.setPen(QPen(pointerColourOn(palette().color(QPalette::Window)), 2, Qt::SolidLine));
    painter.drawLine(toPoint(dial.pointerFrom), toPoint(dial.pointerTo));
}
