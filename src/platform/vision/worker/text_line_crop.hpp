#pragma once

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The line inside `box` (a rotated rectangle in `grey`'s pixels) cut out
// of the 8-bit grey image and turned upright: read along its longer side,
// the side that slopes least taken as its top, and a line standing more
// than half as tall again as it is wide turned a quarter to lie flat.
// Scaled so that it is `height` px high, at most `longestWidth` px wide,
// and framed by a margin of a quarter of its height in the median shade
// of its edge, as the recogniser expects room around a line. Empty when the box
// lies outside the image or is less than a pixel wide.
cv::Mat uprightLine(const cv::Mat& grey, const cv::RotatedRect& box, int height, int longestWidth);

}  // namespace lumenary::platform::vision
