// SPDX-License-Identifier: MIT
#include "angle_dial.h"

AngleDial::AngleDial(QWidget *parent) : QWidget(parent) {}

void AngleDial::setAngle(float degrees)
{
    m_angle = degrees;
    update();
}
