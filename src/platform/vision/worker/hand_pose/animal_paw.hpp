#pragma once

#include <span>

#include <opencv2/core/types.hpp>

#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// A person or an animal the object detector found, in image pixels
// (origin top left).
struct SeenBody {
    cv::Rect2f box;
    bool person = false;
};

// A hand found at this confidence or more is a hand whatever else is in
// the picture (a hand stroking a cat whose owner is out of the frame).
inline constexpr float sureHandConfidence = 0.9F;

// Whether `hand` (found in an image of `imageSize`; joints normalised with
// the origin at the lower left) is an animal's paw or claw that the hand
// networks took for a hand: a squirrel holding a branch, a bird's foot on
// a perch. So it is when the hand is less than sure (under
// sureHandConfidence), the centre of its joints lies in an animal's box,
// and no person's box, widened by a quarter of its size on each side for
// an outstretched arm, reaches the hand. A hand without a located joint is
// not judged (false).
bool isAnAnimalsPaw(const PoseObservation& hand, cv::Size imageSize, std::span<const SeenBody> bodies);

}  // namespace lumenary::platform::vision
