// SPDX-License-Identifier: MIT
#include "request_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sim::RequestKind;

struct Step {
    const char *hex;
    std::int64_t timeMs;
};

struct Expected {
    RequestKind kind;
    const char *hex;
};

std::string kindName(RequestKind kind)
{
    switch (kind) {
    case RequestKind::Plain: return "plain";
    case RequestKind::Protected: return "protected";
    case RequestKind::DebugEntry: return "debug-entry";
    case RequestKind::Unknown: return "unknown";
    case RequestKind::Truncated: return "truncated";
    }
    return "?";
}

TEST(RequestParser, SplitsTheStreamIntoRequests)
{
    struct Case {
        const char *name;
        std::vector<Step> steps;
        std::vector<Expected> expected;
    };
    const std::vector<Case> cases = {
        {"plain command", {{"31", 0}}, {{RequestKind::Plain, "31"}}},
        {"zero offset with four argument bytes",
         {{"5e1ac3775a00000002", 0}},
         {{RequestKind::Protected, "5e1ac3775a00000002"}}},
        {"debug entry", {{"5e1ac377a5", 0}}, {{RequestKind::DebugEntry, "5e1ac377a5"}}},
        {"prefixed t takes one byte, plain t none",
         {{"5e1ac377740a74", 0}},
         {{RequestKind::Protected, "5e1ac377740a"}, {RequestKind::Plain, "74"}}},
        {"arc takes two bytes, start none",
         {{"5e1ac377700168", 0}, {"5e1ac37741", 1}},
         {{RequestKind::Protected, "5e1ac377700168"}, {RequestKind::Protected, "5e1ac37741"}}},
        {"unknown plain byte", {{"78", 0}, {"31", 1}},
         {{RequestKind::Unknown, "78"}, {RequestKind::Plain, "31"}}},
        {"prefix with an unknown command",
         {{"5e1ac3775831", 0}},
         {{RequestKind::Unknown, "5e1ac37758"}, {RequestKind::Plain, "31"}}},
        {"broken prefix: the byte that broke it starts afresh",
         {{"5e1a31", 0}},
         {{RequestKind::Unknown, "5e1a"}, {RequestKind::Plain, "31"}}},
        {"repeated first prefix byte",
         {{"5e5e1ac37763", 0}},
         {{RequestKind::Unknown, "5e"}, {RequestKind::Protected, "5e1ac37763"}}},
        {"bytes 2 ms apart, as the program writes them",
         {{"5e", 0}, {"1a", 2}, {"c3", 4}, {"77", 6}, {"62", 8}},
         {{RequestKind::Protected, "5e1ac37762"}}},
        {"a gap of 50 ms still belongs to the request",
         {{"5e1ac3775a0000", 0}, {"0002", 50}},
         {{RequestKind::Protected, "5e1ac3775a00000002"}}},
        {"truncated after a gap of more than 50 ms, then a good request",
         {{"5e1ac3775a00", 0}, {"31", 51}},
         {{RequestKind::Truncated, "5e1ac3775a00"}, {RequestKind::Plain, "31"}}},
        {"a truncated prefix does not swallow the next request's prefix",
         {{"5e1ac3", 0}, {"5e1ac37763", 100}},
         {{RequestKind::Truncated, "5e1ac3"}, {RequestKind::Protected, "5e1ac37763"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::RequestParser parser;
        std::vector<sim::ParsedRequest> got;
        for (const Step &step : c.steps) {
            for (auto &request : parser.feed(QByteArray::fromHex(step.hex), step.timeMs))
                got.push_back(std::move(request));
        }
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(kindName(got[i].kind), kindName(c.expected[i].kind)) << "request " << i;
            EXPECT_EQ(got[i].bytes.toHex().toStdString(), c.expected[i].hex) << "request " << i;
        }
    }
}

TEST(RequestParser, ProtectedRequestCarriesCommandArgumentsAndFirstByteTime)
{
    sim::RequestParser parser;
    EXPECT_TRUE(parser.feed(QByteArray::fromHex("5e1ac377"), 10).empty());
    const auto requests = parser.feed(QByteArray::fromHex("5a0001e240"), 12);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, 'Z');
    EXPECT_EQ(requests[0].arguments, QByteArray::fromHex("0001e240"));
    EXPECT_EQ(requests[0].timeMs, 10);
}

TEST(RequestParser, ExpiresAStalledRequestWithoutFurtherBytes)
{
    sim::RequestParser parser;
    EXPECT_FALSE(parser.deadline().has_value());
    parser.feed(QByteArray::fromHex("5e1ac37770"), 100);
    ASSERT_TRUE(parser.deadline().has_value());
    EXPECT_EQ(*parser.deadline(), 151);
    EXPECT_TRUE(parser.expire(150).empty());
    const auto dropped = parser.expire(151);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0].kind, RequestKind::Truncated);
    EXPECT_EQ(dropped[0].bytes, QByteArray::fromHex("5e1ac37770"));
    EXPECT_FALSE(parser.deadline().has_value());
    // The next request parses afresh.
    const auto next = parser.feed("1", 200);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].kind, RequestKind::Plain);
}

} // namespace
