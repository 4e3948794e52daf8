#include "platform/vision/worker/hand_pose/hand_crop.hpp"

#include <algorithm>
#include <cmath>

namespace lumenary::platform::vision {

namespace {

// How far the crop reaches beyond the palm, and how far towards the
// fingers its centre moves (in palm heights): the palm detector's boxes
// hold the palm alone.
constexpr float handCropEnlargement = 2.6F;
constexpr float handCropShiftTowardsFingers = 0.5F;

}  // namespace

HandCrop handCropFor(const PalmDetection& palm) {
    HandCrop crop;
    const cv::Point2f direction =
        palm.keypoints[palmMiddleKnuckleKeypoint] - palm.keypoints[palmWristKeypoint];
    const float length = std::hypot(direction.x, direction.y);
    // Keypoints on top of each other give no direction: the hand is taken
    // as upright.
    if (length > 0 && std::isfinite(length)) {
        crop.up = direction / length;
    }
    const cv::Point2f boxCentre(palm.box.x + palm.box.width / 2, palm.box.y + palm.box.height / 2);
    crop.centre = boxCentre + crop.up * (handCropShiftTowardsFingers * palm.box.height);
    crop.side = std::max(palm.box.width, palm.box.height) * handCropEnlargement;
    return crop;
}

cv::Matx23d cropToImage(const HandCrop& crop, int cropSide) {
    // The crop's x axis is its "up" turned a quarter clockwise on screen, so
    // the crop is the image turned, never mirrored; its y axis points down,
    // against "up".
    const double scale = static_cast<double>(crop.side) / cropSide;
    const cv::Point2d right(-crop.up.y, crop.up.x);
    const cv::Point2d down(-crop.up.x, -crop.up.y);
    const cv::Point2d origin =
        cv::Point2d(crop.centre) - (right + down) * (static_cast<double>(crop.side) / 2);
    return {right.x * scale, down.x * scale, origin.x, right.y * scale, down.y * scale, origin.y};
}

cv::Point2d mappedPoint(const cv::Matx23d& transform, cv::Point2d point) {
    return {transform(0, 0) * point.x + transform(0, 1) * point.y + transform(0, 2),
            transform(1, 0) * point.x + transform(1, 1) * point.y + transform(1, 2)};
}

}  // namespace lumenary::platform::vision
