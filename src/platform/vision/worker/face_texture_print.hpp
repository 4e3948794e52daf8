#pragma once

#include <opencv2/core.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The side of the square, aligned face picture a print is made from.
inline constexpr int faceChipSide = 128;

// A print of a face's texture: the aligned grey face (faceChipSide square,
// 8-bit) is histogram-equalised, each pixel coded by which of its eight
// neighbours are at least as bright (the 58 codes with at most two changes
// around the ring, and one bin for all others), and the codes counted on an
// 8 x 8 grid of cells, each cell's 59 counts scaled to sum to 1: 3776
// values. No model for face recognition is packaged, so this handcrafted
// descriptor stands in; faceFeatureDistance says what it is good for.
FaceFeaturePrint faceTexturePrint(const cv::Mat& alignedGrey);

}  // namespace lumenary::platform::vision
