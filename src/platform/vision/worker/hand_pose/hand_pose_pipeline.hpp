#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "platform/vision/vision_observations.hpp"
#include "platform/vision/worker/networks/vision_network_store.hpp"

namespace lumenary::platform::vision {

// No more hands are reported from one image.
inline constexpr std::size_t maximumHandCount = 10;

// The hands of an 8-bit RGB image, strongest palm first: the palm detector
// (`palms`, handDetectNetwork) finds each hand on the whole image scaled to
// its 256 x 256 input, and again shrunk to half of it (so that a hand
// filling the photo is found too), the landmark network (`landmarks`,
// handLandmarkNetwork) places 21 joints on a crop around each palm turned
// upright (hand_crop.hpp). Each crop is judged by what both networks say of
// it (hand_confidence.hpp): the landmark network's presence on it and on
// it mirrored, whether the mirrored view names the other hand, and whether
// the joints are shaped as a hand's and lie where the palm detector put the
// palm. A crop whose confidence is under minimumHandConfidence is left
// out, and so is a hand whose joints cover those of a stronger one.
//
// What a hand carries: its confidence is that combined one; every one of
// the 21 joints of handJointKeys (pose_joints.hpp) is there, normalised
// with the origin at the lower left. The networks give no confidence of
// their own for a single joint, so each joint carries the hand's
// confidence, or 0 when it falls outside the image (the network
// guesses where the hidden part of a hand cut by the frame would be): such
// a joint is not reported. The networks also say which hand it is and how
// deep each joint lies: those serve only to judge the crop, and the tools
// report neither.
//
// Hands are found on the whole image at once: a palm narrower than about
// a 30th of the image's longer side is too small for the detector (on a
// 12-megapixel photo, about 130 pixels).
// Throws what OpenCV throws.
std::vector<PoseObservation> findHandPoses(const cv::Mat& rgb, VisionNetwork& palms, VisionNetwork& landmarks);

}  // namespace lumenary::platform::vision
