#pragma once

#include <array>
#include <cstddef>
#include <span>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The landmark network looks at a square crop of this side around one hand
// and answers 21 points (x, y, depth; x and y in crop pixels) and how sure
// it is that the crop shows a hand at all (0 to 1).
inline constexpr int handLandmarkInputSide = 224;
inline constexpr std::size_t handLandmarkCount = 21;
// A crop whose hand confidence (hand_confidence.hpp) is lower shows no
// hand.
inline constexpr float minimumHandConfidence = 0.5F;

// For each joint of handJointKeys (pose_joints.hpp), in that order, the
// index of its point in the landmark network's answer. The network's
// points run from the wrist through each finger from its root to its tip,
// thumb first; the joints run from each finger's tip to its root.
inline constexpr std::array<std::size_t, handLandmarkCount> handJointLandmarks = {
    0, 4, 3, 2, 1, 8, 7, 6, 5, 12, 11, 10, 9, 16, 15, 14, 13, 20, 19, 18, 17};

// One hand's entry from the landmark network's points (`landmarks`, 63
// numbers) and the hand's `confidence`, the points taken into an image of
// `imageSize` through `cropToImage` (see hand_crop.hpp) and normalised with
// the origin at the lower left. The network gives no confidence of its own
// for a single point: each point carries the hand's confidence, and a point
// that falls outside the image (the network guesses the hidden part of a
// hand cut by the frame) carries 0, so it is not reported.
PoseObservation handObservation(std::span<const float> landmarks, float confidence, const cv::Matx23d& cropToImage,
                                cv::Size imageSize);

}  // namespace lumenary::platform::vision
