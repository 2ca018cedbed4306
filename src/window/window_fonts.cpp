// SPDX-License-Identifier: MIT
#include "window_fonts.h"

#include <QWidget>

QStringList fontFamiliesWithFallbacks(const QString &family)
{
    QStringList families{family};
    if (family == QLatin1String("Arial Narrow"))
        families << QStringLiteral("Liberation Sans Narrow");
    else if (family == QLatin1String("Arial"))
        families << QStringLiteral("Liberation Sans");
    // The Windows faces are narrower than DejaVu Sans at the same size: its condensed cut keeps
    // the captions inside the fixed boxes made for them.
    families << QStringLiteral("DejaVu Sans Condensed") << QStringLiteral("DejaVu Sans")
             << QStringLiteral("Sans Serif");
    return families;
}

QFont windowFont(const QString &family, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(fontFamiliesWithFallbacks(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

void applyPixelFont(QWidget *widget)
{
    const QVariant size = widget->property("fontPixelSize");
    if (!size.isValid())
        return;
    QFont font = widget->font();
    const QStringList families = font.families();
    font.setFamilies(fontFamiliesWithFallbacks(families.isEmpty() ? font.family() : families.first()));
    font.setPixelSize(size.toInt());
    widget->setFont(font);
}

} // namespace

void applyPixelFonts(QWidget *root)
{
    // The root first: children without a font of their own inherit its size.
    applyPixelFont(root);
    const auto children = root->findChildren<QWidget *>();
    for (QWidget *child : children)
        applyPixelFont(child);
}
