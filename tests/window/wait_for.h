// SPDX-License-Identifier: MIT
#pragma once

#include "wait_ms.h"

#include <QElapsedTimer>

// Runs the event loop until `condition` holds or `limitMs` have passed; whether it holds.
template <typename Condition>
bool waitFor(Condition condition, int limitMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition() && waited.elapsed() < limitMs)
        orodja::WaitMs(5);
    return condition();
}
