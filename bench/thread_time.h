// Thread CPU time for the benchmarks' same-run ratios: on a machine shared with
// other work, time the thread spends waiting for a core would otherwise inflate
// the ratios unevenly.
#pragma once

#include <ctime>

inline double thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
