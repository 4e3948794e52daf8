#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

struct VisionWorkerSettings {
    // The worker program (lumenary-vision or a stand-in).
    std::string executable;
    // How long one request may take, the worker's start included. A worker
    // that overruns it is killed and the call fails.
    std::chrono::milliseconds timeLimit{60'000};
};

// The analyzer the server uses: every analysis runs in the vision worker
// program (lumenary-vision, found beside the running executable), started on
// first use and started afresh after it died or overran a time limit.
std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer();
// The same with another worker program or time limit.
std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer(VisionWorkerSettings settings);

}  // namespace lumenary::platform::vision
