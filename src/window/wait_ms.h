// SPDX-License-Identifier: MIT
#pragma once

// Waiting while the window keeps handling its events (timer ticks, clicks, keys, painting).

namespace orodja {

// Waits `ms` milliseconds in a nested event loop. With ms <= 0 it processes the pending
// events once and returns. It returns early once the application is terminating.
void WaitMs(int ms);

// True once the window has closed or the application has been asked to quit: loops that
// wait step by step stop instead of running on into a dying program.
bool applicationTerminating();
// Sets the terminating state; setting it ends every wait in progress.
void setApplicationTerminating(bool terminating);
// Marks the application as terminating without touching any wait: safe in a signal handler.
// The handler then wakes the event loop itself, where the waits are ended.
void requestTerminationFromSignal();

} // namespace orodja
