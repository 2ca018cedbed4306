// SPDX-License-Identifier: MIT
#include "window_placement.h"

#include <algorithm>

namespace window_placement {

Fit fitWithin(QSize layout, QSize frame, QSize area, QSize scrollBars)
{
    const QSize room(std::max(1, area.width() - frame.width()), std::max(1, area.height() - frame.height()));
    // A horizontal bar takes height, which may in turn make the height scroll; the vertical bar
    // then takes width, which may make the width scroll after all.
    const bool tooWide = layout.width() > room.width();
    const int height = layout.height() + (tooWide ? scrollBars.height() : 0);
    const bool scrollsDown = height > room.height();
    const int width = layout.width() + (scrollsDown ? scrollBars.width() : 0);
    return {{std::min(width, room.width()), std::min(height, room.height())}, width > room.width(), scrollsDown};
}

QPoint placedWithin(QPoint wanted, QSize outerSize, const QRect &area)
{
    const auto within = [](int position, int extent, int first, int length) {
        // Past the far edge: moved back; then the near edge wins.
        return std::max(first, std::min(position, first + length - extent));
    };
    return {within(wanted.x(), outerSize.width(), area.x(), area.width()),
            within(wanted.y(), outerSize.height(), area.y(), area.height())};
}

} // namespace window_placement
