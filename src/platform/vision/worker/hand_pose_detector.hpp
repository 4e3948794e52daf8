#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The hands in an 8-bit RGB image, strongest first, each with the 21
// joints of handJointKeys (pose_joints.hpp) in that order: the palm
// detector and the hand landmark network of the worker's network store
// (hand_pose/hand_pose_pipeline.hpp says what each hand and joint
// carries). A network that cannot be loaded fails the call with the
// store's error, which says how to get the files.
PlatformOutcome<std::vector<PoseObservation>> detectHandPoses(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
