// SPDX-License-Identifier: MIT
#pragma once

// The angle dial of the single-turn position (`PaintBoxKot`).

#include <QWidget>

class AngleDial : public QWidget {
    Q_OBJECT
public:
    explicit AngleDial(QWidget *parent = nullptr);

    float angle() const { return m_angle; }
    // Degrees, 0 up to below 360; schedules a repaint.
    void setAngle(float degrees);

private:
    float m_angle = 0.0F;
};
