#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"
#include "platform/vision/worker/posenet_decoding.hpp"

namespace lumenary::platform::vision {

// The people in an 8-bit RGB image, found by PoseNet (MobileNetV1, one
// pass over the whole image letterboxed to 385 x 385) with its
// multi-person decoder, strongest first. Each pose carries the 18 body
// joints (bodyJointKeys), in that order:
// - 17 are PoseNet's own keypoints, with PoseNet's score as confidence;
//   a keypoint under 0.1 (PoseNet's scores for joints hidden or out of the
//   frame) is reported with confidence 0, which the tool leaves out;
// - the neck, which PoseNet does not have, is the midpoint of the two
//   shoulders, with the lower of their confidences.
// A pose whose score (the mean of its keypoints' scores) is under 0.15 is
// not reported. Errors: the network's (domain "VisionService", 500).
PlatformOutcome<std::vector<PoseObservation>> detectBodyPoses(const cv::Mat& rgb);

// The pose entries for PoseNet's poses found in an image of `size` that was
// scaled by `scale` into the network's input (its top-left corner at the
// input's): the rules above, points normalised with the origin lower left.
std::vector<PoseObservation> bodyPoseObservations(const std::vector<PosenetPose>& poses, double scale,
                                                  cv::Size size);

}  // namespace lumenary::platform::vision
