#pragma once

#include <cstdio>
#include <ctime>

#include <sys/resource.h>

// Prints when the first window is up (CLOCK_MONOTONIC, nanoseconds) and the peak resident
// memory so far, for scripts/bench-startup.py.
inline void ReportWindowShown()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("shown %lld %ld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                usage.ru_maxrss);
    std::fflush(stdout);
}
