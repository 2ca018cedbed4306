// SPDX-License-Identifier: MIT
#pragma once

// Where the angle dial draws its circle, labels and pointer, in pixels of its paint box
// (x to the right, y downwards). The widget only draws what this computes.

#include <QString>

#include <array>

namespace quarn {

struct DialPoint {
    int x = 0;
    int y = 0;
    bool operator==(const DialPoint &) const = default;
};

struct DialLabel {
    QString text;
    DialPoint topLeft;
};

struct DialGeometry {
    int radius = 0;
    // The circle is inscribed in the square from circleTopLeft to circleBottomRight.
    DialPoint circleTopLeft;
    DialPoint circleBottomRight;
    // "0°" top, "90°" left, "180°" bottom, "270°" right.
    std::array<DialLabel, 4> labels;
    DialPoint pointerFrom;
    DialPoint pointerTo;
};

// The dial for a paint box `width` pixels wide and the single-turn angle `kot` in degrees.
// The pointer points up at 0° and turns counterclockwise as the angle grows.
DialGeometry dialGeometry(int width, float kot);

} // namespace quarn
