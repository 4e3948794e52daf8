#pragma once

#include <optional>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The part of an 8-bit RGB image that stands out from the rest of it, by
// the spectral residual of its grey levels (what is left of the log
// amplitude spectrum once its local average, the image's own texture, is
// taken away), on a copy of 64 pixels a side: the eyes of a face filling
// the picture, a dog's head on a dog. The box (in the image's pixels)
// around every spot of the map at three times its mean or more, with a
// quarter of its size added on each side; nothing when the map is flat.
std::optional<cv::Rect> mostSalientPart(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
