// SPDX-License-Identifier: MIT
#pragma once

// The window's icon as square images for the desktop's icon theme.

#include <QImage>

// The icon at `side` × `side` pixels, with a transparent background (ARGB32, premultiplied).
// The window icon's own sizes are returned as they are; any other size is drawn anew at that
// resolution rather than scaled up from a small picture.
QImage renderAppIcon(int side);
