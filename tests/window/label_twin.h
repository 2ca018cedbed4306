// SPDX-License-Identifier: MIT
#pragma once

// What a plain label would show in place of one of the window's own: the echo's and the
// position panels' drawing is compared with it pixel for pixel.

#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <memory>

// A plain label standing in for one of the window's own: same font, palette, size, alignment,
// text format, frame, filled background, margin and indent.
inline std::unique_ptr<QLabel> plainTwinOf(const QLabel &label)
{
    auto twin = std::make_unique<QLabel>();
    twin->setFont(label.font());
    twin->setPalette(label.palette());
    twin->setTextFormat(label.textFormat());
    twin->setAlignment(label.alignment());
    twin->setFixedSize(label.size());
    twin->setFrameShape(label.frameShape());
    twin->setFrameShadow(label.frameShadow());
    twin->setLineWidth(label.lineWidth());
    twin->setMidLineWidth(label.midLineWidth());
    twin->setAutoFillBackground(label.autoFillBackground());
    twin->setMargin(label.margin());
    twin->setIndent(label.indent());
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
