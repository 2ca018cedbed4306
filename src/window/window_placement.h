// SPDX-License-Identifier: MIT
#pragma once

// Where the window goes on a screen and how large it may be there. The window's outer size is
// its client area plus whatever frame the window manager draws around it.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace window_placement {

// How a window that shows a layout of fixed size fits on a screen: its client size, and which
// ways it scrolls.
struct Fit {
    QSize client;
    bool scrollsAcross = false;
    bool scrollsDown = false;

    bool operator==(const Fit &) const = default;
};

// How a window showing a `layout` of fixed size fits into `area` (the screen's available area)
// with a frame of `frame` (left and right, top and bottom added up) around it: at the layout's
// own size where that fits. Otherwise the window is as large as fits and scrolls: `scrollBars` is
// the width of a vertical and the height of a horizontal scroll bar, and room for a bar is
// added across the direction that scrolls while the screen has it.
Fit fitWithin(QSize layout, QSize frame, QSize area, QSize scrollBars);

// The top-left corner of the frame for a window whose outer size is `outerSize`: `wanted` where
// the window lies within `area` there, otherwise moved left and up just far enough. A window
// larger than the area keeps its left and top edges (title bar and all) inside it.
QPoint placedWithin(QPoint wanted, QSize outerSize, const QRect &area);

} // namespace window_placement
