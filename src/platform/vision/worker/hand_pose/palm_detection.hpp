#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include <opencv2/core/types.hpp>

namespace lumenary::platform::vision {

// The palm detector looks at a square picture of this side and answers one
// row of this many numbers for each of its palmAnchorCount anchors: the
// score's logit, the box (centre offset from the anchor, width, height) and
// seven palm keypoints (offsets from the anchor), all in input pixels.
inline constexpr int palmInputSide = 256;
inline constexpr std::size_t palmAnchorCount = 2944;
inline constexpr std::size_t palmRowLength = 19;
inline constexpr std::size_t palmKeypointCount = 7;
// The keypoints that give a hand's direction: the wrist and the knuckle of
// the middle finger.
inline constexpr std::size_t palmWristKeypoint = 0;
inline constexpr std::size_t palmMiddleKnuckleKeypoint = 2;

// Where the image sits in the detector's square: image pixel =
// (input pixel - offset) / scale.
struct PalmInputPlacement {
    float scale = 1;
    cv::Point2f offset;
};

// A palm found, in image pixels (origin top left, y downwards).
struct PalmDetection {
    float score = 0;
    cv::Rect2f box;
    std::array<cv::Point2f, palmKeypointCount> keypoints;
};

// The anchor centres in input pixels, in the order of the detector's rows:
// a 32 x 32 grid with 2 anchors a cell, 16 x 16 with 2, 8 x 8 with 6.
const std::vector<cv::Point2f>& palmAnchors();

// The palms whose score (the logit's sigmoid) reaches `minimumScore`, taken
// back into the image through `placement`. `rows` holds palmAnchorCount
// rows of palmRowLength; fewer numbers decode nothing.
std::vector<PalmDetection> decodePalmDetections(std::span<const float> rows, const PalmInputPlacement& placement,
                                                float minimumScore);

// The best palms, best first, leaving out each that overlaps a better one
// by more than `maximumOverlap` (intersection over union), at most
// `maximumCount` of them.
std::vector<PalmDetection> strongestSeparatePalms(std::vector<PalmDetection> palms, float maximumOverlap,
                                                  std::size_t maximumCount);

}  // namespace lumenary::platform::vision
