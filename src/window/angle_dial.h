// SPDX-License-Identifier: MIT
#pragma once

// The angle dial of the single-turn position (`PaintBoxKot`): a circle, the four angle labels
// and a blue pointer. Its background is whatever lies beneath it.

#include <QWidget>

class AngleDial : public QWidget {
    Q_OBJECT
public:
    explicit AngleDial(QWidget *parent = nullptr);

    float angle() const { return m_angle; }
    // Degrees, 0 up to below 360; schedules a repaint.
    void setAngle(float degrees);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Draws the dial for the current angle.
    void PaintBoxKotPaint();

    float m_angle = 0.0F;
};
