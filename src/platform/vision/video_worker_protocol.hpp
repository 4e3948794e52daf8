#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/platform_error.hpp"
#include "platform/vision/video_frames.hpp"
#include "platform/vision/vision_worker_protocol.hpp"

namespace lumenary::platform::vision {

// The video requests between the server and the vision worker, in the same
// frames as the image requests (vision_worker_protocol.hpp): a request names
// the analysis "videoInfo" or "videoFrames" and one video path; an answer
// holds the video's description, the frames, or a "VisionService" error.
struct VideoWorkerRequest {
    enum class Kind { info, frames };

    Kind kind = Kind::info;
    std::string videoPath;
    VideoFrameRequest frames;
};

std::string encodeVideoWorkerRequest(const VideoWorkerRequest& request);
// Absent for a payload that is no video request (an image request among
// them).
std::optional<VideoWorkerRequest> decodeVideoWorkerRequest(std::string_view payload);
// The same from a payload already parsed.
std::optional<VideoWorkerRequest> videoWorkerRequestFrom(const mcp::Value& value);

// Never throw: a number the JSON cannot carry becomes a 500 error answer
// (a duration that is not a number travels as its absence).
std::string encodeVideoInfoAnswer(const PlatformOutcome<VideoInfo>& outcome);
std::string encodeVideoFramesAnswer(const PlatformOutcome<VideoFrameBatch>& outcome);

std::variant<PlatformOutcome<VideoInfo>, UnreadableVisionAnswer> decodeVideoInfoAnswer(std::string_view payload);
std::variant<PlatformOutcome<VideoFrameBatch>, UnreadableVisionAnswer> decodeVideoFramesAnswer(
    std::string_view payload);

}  // namespace lumenary::platform::vision
