#pragma once

#include <optional>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The face analyses on one decoded image (8-bit RGB). Errors are
// "VisionService" ones.

// Every face, in the detector's order, with its roll, yaw and landmarks.
PlatformOutcome<std::vector<FaceObservation>> detectFaces(const cv::Mat& rgb);
// The print of the first face; the whole image is straightened and searched
// again once when that face leans. Nothing when no face is found.
PlatformOutcome<std::optional<FaceFeaturePrint>> generateFaceFeature(const cv::Mat& rgb);
// A print for every face, each crop straightened on its own.
PlatformOutcome<std::vector<FaceFeature>> extractAllFaceFeatures(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
