#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// One face a detector found: what the face analyses report of it, and its
// 68 landmark points in the analysed image's pixels (face_pose.hpp).
struct DetectedFace {
    FaceObservation observation;
    std::vector<cv::Point2f> landmarks;
};

// What the face analyses need from a face model: faces with landmarks, and
// the print of a face whose landmarks are known. The worker's is
// dlibFaceBackend(); tests use their own. Images are 8-bit RGB; errors are
// "VisionService" ones, and no value that is not finite is handed out.
class FaceBackend {
public:
    virtual ~FaceBackend() = default;

    // Every face, in the detector's order.
    virtual PlatformOutcome<std::vector<DetectedFace>> detect(const cv::Mat& rgb) = 0;
    // The face set upright and to a standard size by its landmarks (points
    // in `rgb`'s pixels; they may reach past its edges), then printed.
    virtual PlatformOutcome<FaceFeaturePrint> print(const cv::Mat& rgb, const std::vector<cv::Point2f>& landmarks) = 0;
    // Why no face can be printed at all (the print's model cannot be
    // loaded), or nothing when prints can be made.
    virtual std::optional<PlatformError> printingUnavailable() { return std::nullopt; }
};

}  // namespace lumenary::platform::vision
