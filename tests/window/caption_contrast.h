// SPDX-License-Identifier: MIT
#pragma once

// Reads the window's pixels to tell whether each caption on screen can be read: the window is
// grabbed with the caption and without it, the pixels that differ are the text, and each is held
// against what lies beneath it. Used offscreen with a palette of the test's own and on an X
// server under a real colour scheme.

#include "colours.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <optional>

namespace caption_contrast {

// A control's caption, and a way to change it.
struct Caption {
    QString text;
    std::function<void(const QString &)> set;
};

inline std::optional<Caption> captionOf(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return Caption{label->text(), [label](const QString &text) { label->setText(text); }};
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return Caption{button->text(), [button](const QString &text) { button->setText(text); }};
    if (auto *group = qobject_cast<QGroupBox *>(widget))
        return Caption{group->title(), [group](const QString &text) { group->setTitle(text); }};
    return std::nullopt;
}

// The best contrast of a text pixel against the pixel beneath it; the edges of letters are
// blends, their cores are the text's colour. 0 when the text changed no pixel at all.
inline double textContrast(const QImage &withText, const QImage &withoutText)
{
    double best = 0.0;
    for (int y = 0; y < withText.height(); ++y) {
        for (int x = 0; x < withText.width(); ++x) {
            const QRgb text = withText.pixel(x, y);
            const QRgb beneath = withoutText.pixel(x, y);
            if (text != beneath)
                best = std::max(best, contrastRatio(QColor::fromRgb(text), QColor::fromRgb(beneath)));
        }
    }
    return best;
}

struct Reading {
    QString control;
    QString caption;
    double contrast = 0.0;
};

// Every enabled caption on show in `form` with its contrast (a disabled control may be dim:
// nobody has to read what cannot be used).
inline QList<Reading> readCaptions(QWidget &form)
{
    QList<Reading> readings;
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        const std::optional<Caption> caption = captionOf(widget);
        if (!caption || caption->text.trimmed().isEmpty() || !widget->isVisibleTo(&form) || !widget->isEnabled())
            continue;
        const QRect area = QRect(widget->mapTo(&form, QPoint(0, 0)), widget->size()).intersected(form.rect());
        const QImage withText = form.grab(area).toImage();
        caption->set(QString());
        const QImage withoutText = form.grab(area).toImage();
        caption->set(caption->text);
        readings.append({widget->objectName(), caption->text, textContrast(withText, withoutText)});
    }
    return readings;
}

// Text wants a contrast of 4.5:1 or more.
inline constexpr double ReadableContrast = 4.5;

} // namespace caption_contrast
