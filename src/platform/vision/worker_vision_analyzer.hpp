#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

// How many worker programs a folder's images are shared out to: half the
// cores (the other half keeps the server and the machine responsive), at
// least one and at most four, since each holds a face landmark model of
// about 100 MB, the vision networks it has used (about 80 MB for animals
// and body poses) and one decoded image.
std::size_t defaultVisionWorkerCount();

struct VisionWorkerSettings {
    // The worker program (lumenary-vision or a stand-in).
    std::string executable;
    // How long one request may take, the worker's start included. A worker
    // that overruns it is killed and the call fails.
    std::chrono::milliseconds timeLimit{60'000};
    // Worker programs that analyse the images of one allFaceFeaturesOfEach,
    // or the analysed frames of one videoFrames, at once; every other
    // analysis uses the first alone.
    std::size_t workerCount = defaultVisionWorkerCount();
};

// The analyzer the server uses: every analysis runs in the vision worker
// program (lumenary-vision, found beside the running executable), started on
// first use and started afresh after it died or overran a time limit. The
// images of a folder are shared out to more of them, each holding one image
// at a time. Those are kept for the next folder: a worker's first face
// costs it about a second to load the landmark model, more than a small
// folder's whole search.
std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer();
// The same with another worker program or time limit.
std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer(VisionWorkerSettings settings);

}  // namespace lumenary::platform::vision
