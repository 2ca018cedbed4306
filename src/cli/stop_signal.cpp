// SPDX-License-Identifier: MIT
#include "stop_signal.h"

#include <atomic>
#include <csignal>

namespace cli {

namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set inside a signal handler");

extern "C" void onStopSignal(int)
{
    stopFlag.store(true);
}

} // namespace

void installStopSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // The handler is used once; the next signal has its default effect and ends the program.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopSignalled()
{
    return stopFlag.load();
}

} // namespace cli
