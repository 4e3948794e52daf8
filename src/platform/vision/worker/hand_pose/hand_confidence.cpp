#include "platform/vision/worker/hand_pose/hand_confidence.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include <opencv2/core.hpp>

#include "platform/vision/worker/hand_pose/hand_landmarks.hpp"

namespace lumenary::platform::vision {

namespace {

// The landmark network's points: the wrist, then each finger from its root
// to its tip, thumb first.
constexpr std::size_t wristLandmark = 0;
// For each palm detector keypoint, the landmark on the same spot: the
// wrist, the knuckles of the index, middle, ring and little fingers, and
// the thumb's two lowest joints.
constexpr std::array<std::size_t, palmKeypointCount> palmKeypointLandmarks = {0, 5, 9, 13, 17, 1, 2};
// The knuckle of the index, middle, ring and little fingers; each finger's
// joints follow its knuckle.
constexpr std::array<std::size_t, 4> fingerKnuckles = {5, 9, 13, 17};
constexpr std::size_t middleKnuckle = 9;

// Where the palm detector and the landmark network place the palm's seven
// points on a true hand lie at most this far apart on average (a share of
// the crop's side: about a third of the palm's length), and a reading
// whose points lie twice as far apart is no hand.
constexpr float agreeingPalmDistance = 0.2F;
// The shortest finger (from its knuckle to its tip, along its joints) of a
// true hand is two fifths of the palm (wrist to the middle finger's
// knuckle) or longer in the world landmarks; a skeleton whose shortest
// finger is a fifth of it or less has collapsed.
constexpr float collapsedFingerShare = 0.2F;
constexpr float plausibleFingerShare = 0.4F;

float clampedShare(float value, float zeroAt, float oneAt) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return std::clamp((value - zeroAt) / (oneAt - zeroAt), 0.0F, 1.0F);
}

float finite(float value) {
    return std::isfinite(value) ? std::clamp(value, 0.0F, 1.0F) : 0.0F;
}

cv::Point2f cropPoint(std::span<const float> landmarks, std::size_t index) {
    return {landmarks[index * 3], landmarks[index * 3 + 1]};
}

cv::Point3f worldPoint(std::span<const float> world, std::size_t index) {
    return {world[index * 3], world[index * 3 + 1], world[index * 3 + 2]};
}

float insideShare(std::span<const float> landmarks, int cropSide) {
    const auto side = static_cast<float>(cropSide);
    std::size_t inside = 0;
    for (std::size_t index = 0; index < handLandmarkCount; ++index) {
        const cv::Point2f point = cropPoint(landmarks, index);
        // Written so that NaN counts as outside.
        if (point.x >= 0 && point.x <= side && point.y >= 0 && point.y <= side) {
            ++inside;
        }
    }
    return static_cast<float>(inside) / static_cast<float>(handLandmarkCount);
}

float palmAgreement(const HandReading& reading) {
    float distance = 0;
    for (std::size_t keypoint = 0; keypoint < palmKeypointCount; ++keypoint) {
        distance += static_cast<float>(
            cv::norm(reading.palmKeypoints[keypoint] - cropPoint(reading.landmarks, palmKeypointLandmarks[keypoint])));
    }
    const float share = distance / static_cast<float>(palmKeypointCount) / static_cast<float>(reading.cropSide);
    // A point the networks could not place is no agreement.
    if (!std::isfinite(share)) {
        return 0;
    }
    return 1.0F - clampedShare(share, agreeingPalmDistance, 2 * agreeingPalmDistance);
}

float fingerProportions(std::span<const float> world) {
    // A reading without its skeleton shows no hand's shape.
    if (world.size() < handLandmarkCount * 3) {
        return 0;
    }
    const auto palm = static_cast<float>(cv::norm(worldPoint(world, middleKnuckle) - worldPoint(world, wristLandmark)));
    if (!(palm > 0)) {
        return 0;
    }
    float shortest = 1e30F;
    for (const std::size_t knuckle : fingerKnuckles) {
        float length = 0;
        for (std::size_t joint = knuckle; joint < knuckle + 3; ++joint) {
            length += static_cast<float>(cv::norm(worldPoint(world, joint + 1) - worldPoint(world, joint)));
        }
        shortest = std::min(shortest, length / palm);
    }
    return clampedShare(shortest, collapsedFingerShare, plausibleFingerShare);
}

}  // namespace

HandConfidence handConfidence(const HandReading& reading) {
    HandConfidence confidence;
    const float presence = finite(reading.presence);
    const float mirrored = finite(reading.mirroredPresence);
    confidence.presence = std::sqrt(presence * mirrored);
    confidence.handednessAgreement =
        1.0F - std::min(1.0F, std::abs(finite(reading.handedness) + finite(reading.mirroredHandedness) - 1.0F));
    if (reading.landmarks.size() >= handLandmarkCount * 3 && reading.cropSide > 0) {
        confidence.shape = insideShare(reading.landmarks, reading.cropSide) * palmAgreement(reading) *
                           fingerProportions(reading.worldLandmarks);
    }
    confidence.combined =
        confidence.presence * confidence.handednessAgreement * confidence.handednessAgreement * confidence.shape;
    return confidence;
}

}  // namespace lumenary::platform::vision
