// SPDX-License-Identifier: MIT
#include "stop_signal.h"

#include <atomic>
#include <csignal>

namespace cli {

namespace {

std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal is noted inside a signal handler");

extern "C" void onStopSignal(int signalNumber)
{
    stopSignal.store(signalNumber);
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
    return stopSignal.load() != 0;
}

void endByStopSignal()
{
    const int signalNumber = stopSignal.load();
    if (signalNumber == 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signalNumber);
}

} // namespace cli
