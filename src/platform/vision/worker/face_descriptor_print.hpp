#pragma once

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"
#include "platform/vision/worker/networks/vision_network_store.hpp"

namespace lumenary::platform::vision {

// The side of the square face picture the descriptor network reads.
inline constexpr int faceChipSide = 224;

// The learned descriptor of an aligned face picture (8-bit RGB, any size;
// it is scaled to faceChipSide): the face descriptor network's 1024 values
// scaled to unit length, so that faceFeatureDistance compares them by the
// angle between them. The network comes from the worker's shared store
// unless one is given; a network that cannot be loaded fails the call with
// the store's error, which says how to get the files.
PlatformOutcome<FaceFeaturePrint> faceDescriptorPrint(const cv::Mat& alignedRgb);
PlatformOutcome<FaceFeaturePrint> faceDescriptorPrint(const cv::Mat& alignedRgb, VisionNetwork& network);

}  // namespace lumenary::platform::vision
