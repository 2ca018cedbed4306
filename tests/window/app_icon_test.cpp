// SPDX-License-Identifier: MIT
// The window icon as drawn for the desktop's icon theme: every size shows the window's own
// picture, sharp at its size, on a transparent background.

#include "artwork.h"
#include "icon_render.h"

#include <QIcon>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int ThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage windowIcon32()
{
    return drawWindowIcon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Mean difference of all channels, 0 to 255.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                   + std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * a.width() * a.height());
}

TEST(AppIcon, EverySizeIsTheWindowIconsPicture)
{
    const QImage reference = windowIcon32();
    ASSERT_EQ(reference.size(), QSize(32, 32));
    // The test can tell pictures apart: the code ring mirrored is a different picture.
    const double mirrored = meanDifference(reference, reference.mirrored(true, false));
    ASSERT_GT(mirrored, 20.0);

    for (const int side : ThemeSizes) {
        SCOPED_TRACE(side);
        const QImage icon = renderAppIcon(side);
        ASSERT_EQ(icon.size(), QSize(side, side));
        ASSERT_TRUE(icon.hasAlphaChannel());
        // Corners outside the ring are transparent, the hub in the middle is opaque.
        for (const QPoint corner : {QPoint(0, 0), QPoint(side - 1, 0), QPoint(0, side - 1), QPoint(side - 1, side - 1)})
            EXPECT_EQ(qAlpha(icon.pixel(corner)), 0) << corner.x() << "," << corner.y();
        EXPECT_EQ(qAlpha(icon.pixel(side / 2, side / 2)), 255);

        // Compared at the smaller of the two sizes.
        const int common = std::min(side, 32);
        const auto at = [common](const QImage &image) {
            return image.scaled(common, common, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        };
        const double difference = meanDifference(at(icon), at(reference));
        EXPECT_LT(difference, mirrored / 4);
    }
}

// Drawn at its size, not blown up from 32 pixels: the large icon has edges one pixel wide
// where an enlarged small picture has only soft ramps.
TEST(AppIcon, LargeSizesAreDrawnAtTheirResolution)
{
    const QImage icon = renderAppIcon(256);
    const QImage enlarged = windowIcon32().scaled(256, 256, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto sharpestStep = [](const QImage &picture) {
        QImage image(picture.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter(&image).drawImage(0, 0, picture);
        int best = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 1; x < image.width(); ++x)
                best = std::max(best, std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x - 1, y))));
        return best;
    };
    EXPECT_GT(sharpestStep(icon), 2 * sharpestStep(enlarged));
}

} // namespace
