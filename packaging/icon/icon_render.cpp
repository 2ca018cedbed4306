// SPDX-License-Identifier: MIT
#include "icon_render.h"

#include "artwork.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr QImage::Format IconFormat = QImage::Format_ARGB32_Premultiplied;

// The logo starts with the same code ring as the window icon, drawn in the box
// (1, 1, h - 2, h - 2) for a logo h pixels high. At twice the size with h = 2 × side, that box is
// (0.5, 0.5, side - 1, side - 1) in the icon's own pixels: exactly where the window icon puts
// its ring. The text beside the ring starts further right and is cut off.
QImage ringFromLogo(int side)
{
    const int large = 2 * side;
    const QImage logo = drawLogo(QSize(large + 16, large)).toImage();
    QImage ring = logo.copy(0, 0, large, large).convertToFormat(IconFormat);

    // The logo's white background around the ring becomes transparent; the outline, half a
    // pen wider than the ring's box, stays.
    QImage mask(ring.size(), IconFormat);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRectF(0.5, 0.5, large - 1.0, large - 1.0));
    }
    {
        QPainter painter(&ring);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, mask);
    }
    return ring.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QImage renderAppIcon(int side)
{
    const QIcon icon = drawWindowIcon();
    if (icon.availableSizes().contains(QSize(side, side)))
        return icon.pixmap(QSize(side, side)).toImage().convertToFormat(IconFormat);
    return ringFromLogo(side);
}
