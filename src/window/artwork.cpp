// SPDX-License-Identifier: MIT
#include "artwork.h"

#include "window_fonts.h"

#include <QPainter>
#include <QPen>


namespace {

const QColor Ink(0x1F, 0x3A, 0x93);
const QColor Accent(0xFF, 0x80, 0x40); // the stripe under the top band

// A code ring: a disc with alternating dark and light sectors, like an absolute track.
void drawRing(QPainter &painter, const QRectF &box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    constexpr int sectors = 12;
    const int pattern[sectors] = {1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0};
    for (int i = 0; i < sectors; ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(pattern[i] != 0 ? Ink : QColor(Qt::white));
        painter.drawPie(box, i * 16 * 360 / sectors, 16 * 360 / sectors);
    }
    const QRectF hub = box.adjusted(box.width() * 0.3, box.height() * 0.3, -box.width() * 0.3,
                                    -box.height() * 0.3);
    painter.setBrush(Accent);
    painter.drawEllipse(hub);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Ink, 1));
    painter.drawEllipse(box);
    painter.restore();
}

QPixmap drawIconPixmap(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawRing(painter, QRectF(0.5, 0.5, side - 1.0, side - 1.0));
    return pixmap;
}

} // namespace

QPixmap drawLogo(const QSize &size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    const qreal side = size.height() - 2.0;
    drawRing(painter, QRectF(1.0, 1.0, side, side));

    painter.setPen(Ink);
    painter.setFont(windowFont(QStringLiteral("Arial"), static_cast<int>(size.height() * 0.55), true));
    const QRect textBox(static_cast<int>(side) + 6, 0, size.width() - static_cast<int>(side) - 6,
                        size.height());
    painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quarn-2"));
    return pixmap;
}

QIcon drawWindowIcon()
{
    QIcon icon;
    icon.addPixmap(drawIconPixmap(16));
    icon.addPixmap(drawIconPixmap(32));
    return icon;
}
