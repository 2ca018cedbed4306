// SPDX-License-Identifier: MIT
#pragma once

// Reading a spin edit's value from its text.

#include <QString>

// The text read as a whole number, kept within [minimum, maximum]; a text that is not a whole
// number counts as the lower limit.
int spinEditValue(const QString &text, int minimum, int maximum);
