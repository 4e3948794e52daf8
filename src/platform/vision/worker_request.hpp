#pragma once

#include <optional>
#include <string_view>
#include <variant>

#include "platform/vision/video_worker_protocol.hpp"
#include "platform/vision/vision_worker_protocol.hpp"

namespace lumenary::platform::vision {

// Any request the vision worker answers: an image analysis or a video one.
using WorkerRequest = std::variant<VisionWorkerRequest, VideoWorkerRequest>;

// The request a payload holds, its JSON parsed once; absent for a payload
// that is not JSON or is neither kind of request. The two kinds name
// different analyses, so no payload reads as both.
std::optional<WorkerRequest> decodeWorkerRequest(std::string_view payload);

}  // namespace lumenary::platform::vision
