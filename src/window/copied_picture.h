// SPDX-License-Identifier: MIT
#pragma once

// Widgets that paint the same pixels again and again (a lamp blinking between two colours, the
// echo of a standing shaft) can keep a picture of them and copy it in place of drawing. A copy
// is the drawn pixels only where the painter paints into an image of the same format, at a whole
// pixel offset and a pixel ratio of 1: then the widget's own drawing, done once into a picture
// of that format, gives the same pixels.

#include <QImage>

#include <functional>
#include <optional>

class QPainter;
class QWidget;

// The format of the image `painter` paints into, when a picture copied there at whole pixels is
// the drawn one; nothing otherwise (a scaled screen, a printer, a pixmap of the window system).
std::optional<QImage::Format> copyableTarget(const QPainter &painter);

// A picture of `size` in `format`, drawn by `draw` with a painter of its own.
QImage drawnPicture(QSize size, QImage::Format format, const std::function<void(QPainter &)> &draw);

// Copies `picture` to the widget's top left corner, replacing what is there.
void copyPicture(QPainter &painter, const QImage &picture);
