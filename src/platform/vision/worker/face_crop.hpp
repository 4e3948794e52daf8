#pragma once

#include <optional>

#include <opencv2/core.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The part of an image a face print is made from: the face's box with a
// margin of a fifth of its width on the left and right and of its height
// above and below, kept inside the image. The far edge is the smaller of
// the box's edge plus the margin and the image's edge plus the margin,
// measured from the unraised origin, so a face at the left or top edge
// gets no wider crop than its margin gives. Nothing for a box with a value
// that is not finite or one that misses the image.
std::optional<cv::Rect> faceCropRect(const NormalizedRect& box, cv::Size imageSize);

}  // namespace lumenary::platform::vision
