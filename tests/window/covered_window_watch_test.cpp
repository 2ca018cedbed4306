// SPDX-License-Identifier: MIT
// Reading the X server's visibility events; tests/window/unseen_poll_probe.cpp covers the window
// on a real X server.

#include "covered_window_watch.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(CoveredWindowEvents, OnlyAVisibilityEventOfTheWindowItselfSaysWhetherItIsWhollyCovered)
{
    constexpr quint32 ours = 0x2a00007;
    const struct {
        const char *what;
        quint8 type;
        quint32 window;
        quint8 state;
        std::optional<bool> covered;
    } cases[] = {
        {"wholly covered", XCB_VISIBILITY_NOTIFY, ours, XCB_VISIBILITY_FULLY_OBSCURED, true},
        {"partly covered", XCB_VISIBILITY_NOTIFY, ours, XCB_VISIBILITY_PARTIALLY_OBSCURED, false},
        {"uncovered", XCB_VISIBILITY_NOTIFY, ours, XCB_VISIBILITY_UNOBSCURED, false},
        // The top bit marks an event that another client sent on the server's behalf.
        {"sent by a client", XCB_VISIBILITY_NOTIFY | 0x80, ours, XCB_VISIBILITY_FULLY_OBSCURED, true},
        {"another window", XCB_VISIBILITY_NOTIFY, ours + 1, XCB_VISIBILITY_FULLY_OBSCURED, std::nullopt},
        {"an expose event", XCB_EXPOSE, ours, XCB_VISIBILITY_FULLY_OBSCURED, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // Every event the server sends is 32 bytes long.
        union {
            xcb_visibility_notify_event_t visibility;
            xcb_generic_event_t generic;
        } event{};
        event.visibility.response_type = c.type;
        event.visibility.window = c.window;
        event.visibility.state = c.state;
        EXPECT_EQ(covered_window::fullyCoveredFromEvent(&event, ours), c.covered);
    }
}

} // namespace
