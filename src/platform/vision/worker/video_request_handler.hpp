#pragma once

#include <string>

#include "platform/vision/video_worker_protocol.hpp"

namespace lumenary::platform::vision {

// The worker's side of a video request: opens the video, and for frames
// takes each requested time in order and runs the analyses asked for on
// it (faces, then text at the accurate level in the default languages,
// then face features). A frame the decoder cannot make is that time's error
// outcome; the first analysis that fails is that frame's analysisError.
// Once the stream has ended, no later time is answered.
std::string answerVideoRequest(const VideoWorkerRequest& request);

}  // namespace lumenary::platform::vision
