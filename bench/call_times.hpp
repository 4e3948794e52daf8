#pragma once

// The median and the slowest of a call timed again and again, in
// milliseconds: what the in-process tool benchmarks report.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace lumenary::bench {

struct CallTimes {
    double median = 0;
    double slowest = 0;
};

inline CallTimes timeCalls(int runs, const std::function<void()>& call) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        call();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

}  // namespace lumenary::bench
