#pragma once

#include <array>
#include <span>

#include <opencv2/core/types.hpp>

#include "platform/vision/worker/hand_pose/palm_detection.hpp"

namespace lumenary::platform::vision {

// What the two hand networks say of one crop (hand_crop.hpp), and of the
// same crop mirrored: the landmark network's presence and handedness (how
// sure it is that the crop shows a right hand) for each view, its 21
// landmarks (x, y, depth; crop pixels) and world landmarks (x, y, z;
// metres) on the crop, and the palm detector's keypoints taken into the
// crop's pixels.
struct HandReading {
    float presence = 0;
    float handedness = 0;
    float mirroredPresence = 0;
    float mirroredHandedness = 0;
    std::span<const float> landmarks;
    std::span<const float> worldLandmarks;
    std::array<cv::Point2f, palmKeypointCount> palmKeypoints;
    int cropSide = 0;
};

// How far the reading looks like a hand, each 0 to 1.
struct HandConfidence {
    // The presence of both views together (their geometric mean): a hand
    // mirrored is still a hand.
    float presence = 0;
    // Whether the mirrored view names the other hand, as a true hand's
    // does: 1 when the two handedness scores add up to 1.
    float handednessAgreement = 0;
    // The 21 joints as a hand's: inside the crop, where the palm detector
    // put the wrist and the knuckles, and fingers not collapsed onto the
    // palm.
    float shape = 0;
    // What is reported: the presence, weighed down by the handedness
    // agreement (squared: the landmark network's presence alone is high on
    // fur and whiskers, which it cannot tell a left from a right hand on)
    // and the shape.
    float combined = 0;
};

// Readings with fewer landmarks than 21 x 3 have no shape (0).
HandConfidence handConfidence(const HandReading& reading);

}  // namespace lumenary::platform::vision
