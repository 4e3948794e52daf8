#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The regions of an 8-bit RGB image that stand out by colour, strongest
// first. A handcrafted map, as no learned one is packaged: frequency-tuned
// contrast (each pixel's Lab distance from the image's mean colour, after a
// light blur) on a copy of at most 512 pixels a side, thresholded by Otsu's
// method, closed, and split into connected components. A region's
// confidence is its mean contrast against the map's peak. A region whose
// mean contrast stays under a floor is dropped: normalising the map would
// otherwise turn the noise of a flat or evenly textured image into a
// region of full confidence.
std::vector<SalientObject> salientRegions(const cv::Mat& rgb);

// The longer side of the copy the map is made on.
inline constexpr int saliencyWorkingSide = 512;

}  // namespace lumenary::platform::vision
