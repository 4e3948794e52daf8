#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// Timing and failing of the vision benchmark's cases.
namespace lumenary::vision_bench {

using Clock = std::chrono::steady_clock;

inline double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

inline double medianMilliseconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto started = Clock::now();
        work();
        times.push_back(milliseconds(Clock::now() - started));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline void report(const char* name, double median, const char* target) {
    std::printf("%-52s %9.2f ms   (target %s)\n", name, median, target);
    std::fflush(stdout);
}

// Ends the benchmark when `outcome` holds an error: a figure measured on a
// failure means nothing.
template <typename Outcome>
void require(const Outcome& outcome, const char* what) {
    if (!outcome) {
        std::fprintf(stderr, "vision_bench: %s failed: %s\n", what, outcome.error().description.c_str());
        std::exit(1);
    }
}

}  // namespace lumenary::vision_bench
