// SPDX-License-Identifier: MIT
#pragma once

// Clocks and statistics shared by the benchmarks.

#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace bench {

// Processor time of a clock such as CLOCK_THREAD_CPUTIME_ID or CLOCK_PROCESS_CPUTIME_ID.
inline double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

inline double threadCpuSeconds() { return cpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

// User and system time of the whole process, the simulator's thread included.
inline double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// User and system time of the calling thread, apart (the system part is the driver, the
// wake-ups and the context switches), and how often the thread went to sleep and was woken
// again (voluntary context switches), which on a virtual machine costs more than most of the
// work done once awake.
struct ThreadUsage {
    double user = 0.0;
    double system = 0.0;
    long wakeUps = 0;
};

inline ThreadUsage threadUsage()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw};
}

// The value below which `fraction` of the values lie (0.5: the median); 0 for no values.
inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[at];
}

} // namespace bench
