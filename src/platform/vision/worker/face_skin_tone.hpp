#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The share (0 to 1) of the pixels inside a face's outline (the hull of its
// 68 landmarks, face_pose.hpp, in `rgb`'s pixels) whose colour is a skin
// tone, of any complexion under ordinary light. Nothing when the region
// carries too little colour to tell (a grey picture, a face in the dark),
// or its outline holds no pixel of the image.
std::optional<double> skinToneShare(const cv::Mat& rgb, const std::vector<cv::Point2f>& landmarks);

}  // namespace lumenary::platform::vision
