// SPDX-License-Identifier: MIT
#pragma once

// The angle dial of the single-turn position (`PaintBoxKot`): a circle, the four angle labels
// and a blue pointer, in the window's colours. Without a reading there is no pointer: a pointer
// at 0 would read as a position.

#include <QPixmap>
#include <QRect>
#include <QWidget>

namespace quarn {
struct DialGeometry;
}

class AngleDial : public QWidget {
    Q_OBJECT
public:
    explicit AngleDial(QWidget *parent = nullptr);

    float angle() const { return m_angle; }
    // Degrees, 0 up to below 360; schedules a repaint of what the pointer's move changes.
    void setAngle(float degrees);
    // Whether the pointer shows: from the first angle set until the reading is cleared.
    bool hasReading() const { return m_hasReading; }
    // No reading to show (no encoder yet, or it was lost): the face without a pointer.
    void clearReading();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Draws the dial for the current angle.
    void PaintBoxKotPaint();
    // The background, circle and labels, which change only with the size, font or palette.
    void drawFace(QPainter &painter) const;
    // The pixels the pointer of `dial` may touch.
    static QRect pointerArea(const quarn::DialGeometry &dial);

    float m_angle = 0.0F;
    bool m_hasReading = false;
    // The face drawn once and copied at every repaint: the dial repaints at every poll step,
    // and only its pointer moves.
    QPixmap m_face;
};
