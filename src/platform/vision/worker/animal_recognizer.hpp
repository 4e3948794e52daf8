#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The cats and dogs in an 8-bit RGB image.
PlatformOutcome<std::vector<AnimalObservation>> recognizeAnimals(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
