// Timing for the benchmarks: the best of several rounds of a measured piece of
// work, and one printed line per figure, always as a ratio to a baseline measured
// in the same run on the same machine (absolute times vary too much to mean much).
#ifndef QUOTARION_BENCH_COMMON_H
#define QUOTARION_BENCH_COMMON_H

#include <chrono>
#include <stdio.h>

template <typename Work> double BestSeconds(int rounds, Work work)
{
    double best = 1e30;
    for (int r = 0; r < rounds; r++) {
        auto start = std::chrono::steady_clock::now();
        work();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (s < best)
            best = s;
    }
    return best;
}

inline void Report(const char *what, double value, const char *unit, double baseline, const char *baselineWhat)
{
    printf("%-34s %12.3f %-8s %7.2fx  (baseline: %s)\n", what, value, unit, baseline > 0 ? value / baseline : 0.0,
           baselineWhat);
    fflush(stdout);
}

#endif
