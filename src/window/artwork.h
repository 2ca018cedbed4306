// SPDX-License-Identifier: MIT
#pragma once

// The program's own logo and window icon, drawn rather than loaded.

#include <QIcon>
#include <QPixmap>
#include <QSize>

QPixmap drawLogo(const QSize &size);
// 16 × 16 and 32 × 32.
QIcon drawWindowIcon();
