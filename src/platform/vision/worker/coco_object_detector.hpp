#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/worker/nanodet_decoding.hpp"
#include "platform/vision/worker/networks/vision_network_store.hpp"

namespace lumenary::platform::vision {

// The COCO detector's square input (cocoDetectorNetwork), and its classes
// (COCO indices 0 to 79).
inline constexpr int cocoDetectorInputSide = 416;
inline constexpr int cocoDetectorClassCount = 80;
inline constexpr int cocoPersonClass = 0;
// Bird, cat, dog, horse, sheep, cow, elephant, bear, zebra, giraffe.
inline constexpr int cocoFirstAnimalClass = 14;
inline constexpr int cocoLastAnimalClass = 23;

// A part of an image as the detector is shown it: placed in the middle of
// a grey square canvas whose side is the part's longer side divided by
// `fill`, scaled to the network's input. An object that fills the whole
// frame is seen more surely at a fill under 1, with room around it, than
// filling the input edge to edge.
struct DetectorView {
    cv::Rect region;
    double fill = 1.0;
};

// The objects of `classes` (COCO indices, see nanodetObjects) scoring at
// least `minimumScore` in one view of an 8-bit RGB image, boxes in the
// image's pixels, not suppressed. Throws cv::Exception when the network
// refuses the input.
std::vector<DetectedObject> detectObjectsInView(VisionNetwork& network, const cv::Mat& rgb, const DetectorView& view,
                                                const std::vector<int>& classes, float minimumScore);

}  // namespace lumenary::platform::vision
