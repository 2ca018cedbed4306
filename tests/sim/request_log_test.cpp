// SPDX-License-Identifier: MIT
#include "request_log.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestLog, LineFormat)
{
    const sim::LogEntry ok{1532, 115200, QByteArray::fromHex("5e1ac37763"), sim::ParseNote::Ok};
    EXPECT_EQ(sim::logLine(ok), QStringLiteral("1532 115200 5E 1A C3 77 63 ok"));
    const sim::LogEntry wrong{7, 9600, "v", sim::ParseNote::WrongRate};
    EXPECT_EQ(sim::logLine(wrong), QStringLiteral("7 9600 76 wrong-rate"));
}

} // namespace
