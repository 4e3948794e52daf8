#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The hands in an 8-bit RGB image, each with its 21 joints in the order of
// handJointKeys.
PlatformOutcome<std::vector<PoseObservation>> detectHandPoses(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
