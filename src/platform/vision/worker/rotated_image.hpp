#pragma once

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// An image turned about its centre onto a canvas that holds all of it,
// with the map from the source's pixel coordinates to the canvas's.
struct RotatedImage {
    cv::Mat image;
    cv::Matx23d transform;
};

// Positive angles (radians) turn counter-clockwise as the image is seen.
// The canvas is the turned rectangle's bounds, each side cut down to a
// whole pixel; the corners it adds are black. A face leaning by a roll r
// stands upright after a turn by -r.
RotatedImage rotateImage(const cv::Mat& image, double angle);

}  // namespace lumenary::platform::vision
