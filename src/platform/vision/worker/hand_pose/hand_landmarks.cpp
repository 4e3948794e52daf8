#include "platform/vision/worker/hand_pose/hand_landmarks.hpp"

#include <string>

#include "platform/vision/pose_joints.hpp"
#include "platform/vision/worker/hand_pose/hand_crop.hpp"

namespace lumenary::platform::vision {

PoseObservation handObservation(std::span<const float> landmarks, float confidence, const cv::Matx23d& cropToImage,
                                cv::Size imageSize) {
    PoseObservation hand;
    hand.confidence = confidence;
    if (landmarks.size() < handLandmarkCount * 3 || imageSize.width <= 0 || imageSize.height <= 0) {
        return hand;
    }
    const double width = imageSize.width;
    const double height = imageSize.height;
    for (std::size_t index = 0; index < handLandmarkCount; ++index) {
        const std::size_t landmark = handJointLandmarks[index];
        const cv::Point2d inCrop(landmarks[landmark * 3], landmarks[landmark * 3 + 1]);
        const cv::Point2d inImage = mappedPoint(cropToImage, inCrop);
        PoseJoint point;
        point.key = std::string(handJointKeys[index]);
        point.location = NormalizedPoint{inImage.x / width, 1.0 - inImage.y / height};
        // Written so that NaN counts as outside.
        const bool inside = inImage.x >= 0 && inImage.x <= width && inImage.y >= 0 && inImage.y <= height;
        point.confidence = inside ? confidence : 0.0F;
        hand.joints.push_back(std::move(point));
    }
    return hand;
}

}  // namespace lumenary::platform::vision
