#pragma once

#include <optional>
#include <ostream>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"
#include "platform/vision/worker/face_backend.hpp"

namespace lumenary::platform::vision {

// The face analyses on one decoded image (8-bit RGB). Errors are
// "VisionService" ones. Without a backend they use dlibFaceBackend().

// A face leans enough to be set upright before it is printed when its
// roll is further than this from 0.
inline constexpr double faceRollCorrectionThreshold = 0.26;

// Every face, in the detector's order, with its roll, yaw and landmarks.
PlatformOutcome<std::vector<FaceObservation>> detectFaces(const cv::Mat& rgb);
PlatformOutcome<std::vector<FaceObservation>> detectFaces(const cv::Mat& rgb, FaceBackend& backend);

// The print of the first face, made from its crop (faceCropRect). When that
// face leans, the whole image is turned upright once, a notice saying so
// goes to `console`, and the turned image is searched again: what that
// second search finds, or its error, is the answer. Nothing when no face is
// found or the crop misses the image.
PlatformOutcome<std::optional<FaceFeaturePrint>> generateFaceFeature(const cv::Mat& rgb);
PlatformOutcome<std::optional<FaceFeaturePrint>> generateFaceFeature(const cv::Mat& rgb, FaceBackend& backend,
                                                                     std::ostream& console);

// A print for every face, each made from its own crop, turned upright on
// its own when the face leans (no second search, no notice); the box is the
// face's box in the whole image as detected. A face whose crop or print
// cannot be made is left out; only a failed detection, or a print model
// that cannot be loaded when there are faces to print, fails the call.
PlatformOutcome<std::vector<FaceFeature>> extractAllFaceFeatures(const cv::Mat& rgb);
PlatformOutcome<std::vector<FaceFeature>> extractAllFaceFeatures(const cv::Mat& rgb, FaceBackend& backend);

}  // namespace lumenary::platform::vision
