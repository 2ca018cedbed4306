// SPDX-License-Identifier: MIT
#include "lamp_panel.h"

#include "copied_picture.h"

#include <QMovie>
#include <QPainter>
#include <QPicture>
#include <QStyle>

#include <functional>
#include <optional>
#include <utility>

LampPanel::LampPanel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor LampPanel::colour() const
{
    return m_colour.isValid() ? m_colour : palette().color(QPalette::Active, QPalette::Window);
}

void LampPanel::setColour(const QColor &colour)
{
    if (colour == this->colour() && m_colour.isValid())
        return;
    m_colour = colour;
    m_colourShown = false;
    // The panel paints its own background from here on.
    setAutoFillBackground(false);
    update();
}

namespace {

// Everything a lamp without text paints depends on.
struct LampLook {
    QRgb colour = 0;
    QSize size;
    QRect frame;
    int shape = 0;
    int lineWidth = 0;
    int midLineWidth = 0;
    qint64 palette = 0;
    const QStyle *style = nullptr;
    bool active = false;
    bool enabled = false;
    QImage::Format format = QImage::Format_Invalid;

    bool operator==(const LampLook &) const = default;
};

// The communication lamp blinks between two colours at every frame, and the status lamps have
// a few: the pictures of the last few looks, shared by all lamps.
const QImage &pictureOf(const LampLook &look, const std::function<void(QPainter &)> &draw)
{
    static QList<std::pair<LampLook, QImage>> kept;
    for (const auto &[seen, picture] : std::as_const(kept)) {
        if (seen == look)
            return picture;
    }
    constexpr qsizetype MostKept = 32;
    if (kept.size() == MostKept)
        kept.removeFirst();
    kept.append({look, drawnPicture(look.size, look.format, draw)});
    return kept.constLast().second;
}

} // namespace

void LampPanel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    m_colourShown = true;
    if (!text().isEmpty() || movie() != nullptr || !pixmap().isNull() || !picture().isNull()) {
        painter.fillRect(rect(), colour());
        painter.end();
        QLabel::paintEvent(event);
        return;
    }
    // Without text, all the label would add is its frame.
    const auto drawLamp = [this](QPainter &onto) {
        onto.fillRect(rect(), colour());
        drawFrame(&onto);
    };
    if (const std::optional<QImage::Format> format = copyableTarget(painter)) {
        const LampLook look{colour().rgba(), size(),         frameRect(),         frameStyle(),
                            lineWidth(),     midLineWidth(), palette().cacheKey(), style(),
                            isActiveWindow(), isEnabled(),   *format};
        copyPicture(painter, pictureOf(look, drawLamp));
        return;
    }
    drawLamp(painter);
}
