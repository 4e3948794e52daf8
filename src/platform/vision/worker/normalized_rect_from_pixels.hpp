#pragma once

#include <opencv2/core.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// A box in pixel coordinates of an image of `imageSize` (origin top left,
// `bottom` below `top`) as a NormalizedRect (origin lower left), clamped to
// the image so that a box reaching past an edge still reads 0 to 1.
NormalizedRect normalizedRectFromPixels(double left, double top, double right, double bottom, cv::Size imageSize);

}  // namespace lumenary::platform::vision
