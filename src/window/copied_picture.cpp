// SPDX-License-Identifier: MIT
#include "copied_picture.h"

#include <QPaintEngine>
#include <QPainter>

#include <cmath>

std::optional<QImage::Format> copyableTarget(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    const QPaintDevice *target = engine != nullptr ? engine->paintDevice() : nullptr;
    if (target == nullptr || target->devType() != QInternal::Image || target->devicePixelRatio() != 1.0)
        return std::nullopt;
    const QTransform placed = painter.deviceTransform();
    if (placed.type() > QTransform::TxTranslate || placed.dx() != std::round(placed.dx())
        || placed.dy() != std::round(placed.dy()))
        return std::nullopt;
    return static_cast<const QImage *>(target)->format();
}

QImage drawnPicture(QSize size, QImage::Format format, const std::function<void(QPainter &)> &draw)
{
    QImage picture(size, format);
    QPainter painter(&picture);
    draw(painter);
    return picture;
}

void copyPicture(QPainter &painter, const QImage &picture)
{
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), picture);
}
