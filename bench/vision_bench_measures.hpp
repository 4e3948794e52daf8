#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_worker_protocol.hpp"

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

// Sends `request` to the worker and reads its answer, ending the benchmark
// when the worker fails it.
inline void askWorker(platform::WorkerProcess& worker, const platform::vision::VisionWorkerRequest& request) {
    using namespace std::chrono_literals;
    using namespace platform::vision;
    if (worker.write(visionFrame(encodeVisionRequest(request)), 60s)) {
        std::fprintf(stderr, "vision_bench: the worker took no request\n");
        std::exit(1);
    }
    const auto line = worker.readLine(maximumVisionFrameHeaderLength, 60s);
    require(line, "reading an answer's length");
    const auto answer = worker.read(visionFrameLength(line.value()).value_or(0), 60s);
    require(answer, "reading an answer");
    if (answer.value().find("\"error\"") != std::string::npos) {
        std::fprintf(stderr, "vision_bench: the worker answered %s\n", answer.value().c_str());
        std::exit(1);
    }
}

}  // namespace lumenary::vision_bench
