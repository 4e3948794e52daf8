#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The longer side an image file needs to be decoded at for hand pose: the
// smallest palm the detector finds (a 30th of that side) then gives a crop
// of 130 pixels or more for the landmark network's 224.
inline constexpr int handPoseSourceSide = 1536;

// The hands in an 8-bit RGB image, strongest first, each with the 21
// joints of handJointKeys (pose_joints.hpp) in that order: the palm
// detector and the hand landmark network of the worker's network store
// (hand_pose/hand_pose_pipeline.hpp says what each hand and joint
// carries). A hand that is less than sure is cross-checked with the
// people and animals the COCO detector finds (hand_pose/animal_paw.hpp): an
// animal's paw or claw taken for a hand, with no person near it, is left
// out. A network that cannot be loaded fails the call with the store's
// error, which says how to get the files.
PlatformOutcome<std::vector<PoseObservation>> detectHandPoses(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
