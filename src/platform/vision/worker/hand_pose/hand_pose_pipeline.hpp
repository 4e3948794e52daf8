#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "platform/vision/vision_observations.hpp"
#include "platform/vision/worker/networks/vision_network_store.hpp"

namespace lumenary::platform::vision {

// No more hands are reported from one image.
inline constexpr std::size_t maximumHandCount = 10;

// The hands of an 8-bit RGB image, strongest palm first: the palm detector
// (`palms`) finds each hand on the whole image, the landmark network
// (`landmarks`) places its 21 joints on a crop turned upright (see
// hand_crop.hpp and hand_landmarks.hpp). A crop the landmark network does
// not take for a hand is left out. Throws what OpenCV throws.
std::vector<PoseObservation> detectHandPoses(const cv::Mat& rgb, VisionNetwork& palms, VisionNetwork& landmarks);

}  // namespace lumenary::platform::vision
