#pragma once

#include <optional>
#include <vector>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// What a video file says about itself.
struct VideoInfo {
    // Not a number when the file does not say.
    double durationSeconds = 0;
};

// The frames to take from a video and what to find in each. Times are in
// seconds; each asks for the last frame shown at or before it.
struct VideoFrameRequest {
    std::vector<double> times;
    bool faces = false;
    bool text = false;  // accurate recognition, default languages
    bool faceFeatures = false;
    bool animals = false;
    bool bodyPose = false;
    bool handPose = false;

    bool anyAnalysis() const { return faces || text || faceFeatures || animals || bodyPose || handPose; }
};

// One frame taken: its own presentation time and the analyses asked for.
// When an analysis fails, `analysisError` holds its error and no analysis
// result is kept: callers tell a frame that could not be made (left out)
// from one whose analysis failed (which may fail the whole search).
struct VideoFrame {
    double timestamp = 0;
    std::optional<std::vector<FaceObservation>> faces;
    std::optional<std::vector<TextObservation>> text;
    std::optional<std::vector<FaceFeature>> faceFeatures;
    std::optional<std::vector<AnimalObservation>> animals;
    std::optional<std::vector<PoseObservation>> bodyPoses;
    std::optional<std::vector<PoseObservation>> handPoses;
    std::optional<PlatformError> analysisError;
};

// The frames of one request, one outcome per requested time in order, up to
// the end of the stream: when the stream ends before the last time, the
// batch is shorter and `endOfStream` is set. An error outcome is a frame the
// decoder could not make.
struct VideoFrameBatch {
    std::vector<PlatformOutcome<VideoFrame>> frames;
    bool endOfStream = false;
};

}  // namespace lumenary::platform::vision
