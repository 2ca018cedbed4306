// SPDX-License-Identifier: MIT
#pragma once

// What a plain label would show in place of one of the window's own: the echo's drawing is
// compared with it pixel for pixel.

#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <memory>

// A plain label standing in for `echo`: same font, palette, size, alignment and text format.
inline std::unique_ptr<QLabel> plainTwinOf(const QLabel &echo)
{
    auto twin = std::make_unique<QLabel>();
    twin->setFont(echo.font());
    twin->setPalette(echo.palette());
    twin->setTextFormat(echo.textFormat());
    twin->setAlignment(echo.alignment());
    twin->setFixedSize(echo.size());
    return twin;
}

// `widget` painted on its background colour, as it stands on the form.
inline QImage painted(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}
