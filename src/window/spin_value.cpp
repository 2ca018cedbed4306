// SPDX-License-Identifier: MIT
#include "spin_value.h"

#include <algorithm>

int spinEditValue(const QString &text, int minimum, int maximum)
{
    bool isNumber = false;
    const int value = text.trimmed().toInt(&isNumber);
    if (!isNumber)
        return minimum;
    // An out-of-range entry (a 0 on the way to 250, say) must not reach a timer as 0 ms.
    return std::clamp(value, minimum, maximum);
}
