#pragma once

#include <memory>

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

// The analyzer the server uses: every analysis runs in the vision worker
// program (lumenary-vision, found beside the running executable), started on
// first use and started afresh after it died or overran a time limit.
std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer();

}  // namespace lumenary::platform::vision
