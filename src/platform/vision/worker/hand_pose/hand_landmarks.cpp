#include "platform/vision/worker/hand_pose/hand_landmarks.hpp"

#include <string>

#include "platform/vision/worker/hand_pose/hand_crop.hpp"

namespace lumenary::platform::vision {

const std::array<HandJoint, handLandmarkCount> handJoints = {{
    {"wrist", 0},
    {"thumb_tip", 4},
    {"thumb_ip", 3},
    {"thumb_mp", 2},
    {"thumb_cmc", 1},
    {"index_tip", 8},
    {"index_dip", 7},
    {"index_pip", 6},
    {"index_mcp", 5},
    {"middle_tip", 12},
    {"middle_dip", 11},
    {"middle_pip", 10},
    {"middle_mcp", 9},
    {"ring_tip", 16},
    {"ring_dip", 15},
    {"ring_pip", 14},
    {"ring_mcp", 13},
    {"little_tip", 20},
    {"little_dip", 19},
    {"little_pip", 18},
    {"little_mcp", 17},
}};

PoseObservation handObservation(std::span<const float> landmarks, float presence, const cv::Matx23d& cropToImage,
                                cv::Size imageSize) {
    PoseObservation hand;
    hand.confidence = presence;
    if (landmarks.size() < handLandmarkCount * 3 || imageSize.width <= 0 || imageSize.height <= 0) {
        return hand;
    }
    const double width = imageSize.width;
    const double height = imageSize.height;
    for (const auto& joint : handJoints) {
        const cv::Point2d inCrop(landmarks[joint.landmark * 3], landmarks[joint.landmark * 3 + 1]);
        const cv::Point2d inImage = mappedPoint(cropToImage, inCrop);
        PoseJoint point;
        point.key = std::string(joint.key);
        point.location = NormalizedPoint{inImage.x / width, 1.0 - inImage.y / height};
        // Written so that NaN counts as outside.
        const bool inside = inImage.x >= 0 && inImage.x <= width && inImage.y >= 0 && inImage.y <= height;
        point.confidence = inside ? presence : 0.0F;
        hand.joints.push_back(std::move(point));
    }
    return hand;
}

}  // namespace lumenary::platform::vision
