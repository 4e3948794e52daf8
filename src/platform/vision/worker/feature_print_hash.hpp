#pragma once

#include <opencv2/core.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The 64-bit perceptual hash of an 8-bit RGB image: the signs of the lowest
// 8x8 frequencies of a 32x32 grey copy against their median. Scaling,
// re-encoding and brightness barely move it; cropping, mirroring and a new
// viewpoint do.
FeaturePrint featurePrintHash(const cv::Mat& rgb);

// A longer side that still gives the same print as the full size, for a
// decoder that can skip detail.
inline constexpr int featurePrintSourceSide = 256;

}  // namespace lumenary::platform::vision
