// SPDX-License-Identifier: MIT
// The spin-edit reading rule.

#include "spin_value.h"

#include <gtest/gtest.h>

namespace {

TEST(SpinEditValue, ReadsWholeNumbersAndFallsBackToTheLowerLimit)
{
    const struct {
        const char *text;
        int value;
    } cases[] = {
        {"30", 30},   {"250", 250}, {" 40 ", 40}, {"10", 10},    {"1000", 1000},
        {"", 10},     {"abc", 10},  {"2.5", 10},  {"1e2", 10},   {"0x20", 10},
        {"2", 10},    {"0", 10},    {"-5", 10},   {"5000", 1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(spinEditValue(QString::fromLatin1(c.text), 10, 1000), c.value);
    }
}

} // namespace
