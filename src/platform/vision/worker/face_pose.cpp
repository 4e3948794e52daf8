#include "platform/vision/worker/face_pose.hpp"

#include <algorithm>
#include <cmath>

namespace lumenary::platform::vision {

namespace {

constexpr std::size_t noseTip = 30;
constexpr std::size_t outerCornerOnImageLeft = 36;
constexpr std::size_t outerCornerOnImageRight = 45;
// How far the nose tip stands out in front of the outer eye corners, over
// half their distance apart, on an average adult face.
constexpr double noseDepthOverHalfEyeSpan = 0.8;

cv::Point2d centreOf(const std::vector<cv::Point2f>& landmarks, std::size_t first) {
    cv::Point2d sum;
    for (std::size_t index = first; index < first + 6; ++index) {
        sum += cv::Point2d(landmarks[index]);
    }
    return sum / 6.0;
}

}  // namespace

std::optional<FacePose> facePose(const std::vector<cv::Point2f>& landmarks) {
    if (landmarks.size() < faceLandmarkCount) {
        return std::nullopt;
    }
    const auto eyeOnImageLeft = centreOf(landmarks, 36);
    const auto eyeOnImageRight = centreOf(landmarks, 42);
    const auto eyeLine = eyeOnImageRight - eyeOnImageLeft;
    // The image's y axis points down; a counter-clockwise lean lifts the
    // right-hand eye.
    const double roll = std::atan2(-eyeLine.y, eyeLine.x);

    const cv::Point2d leftCorner(landmarks[outerCornerOnImageLeft]);
    const cv::Point2d rightCorner(landmarks[outerCornerOnImageRight]);
    const cv::Point2d nose(landmarks[noseTip]);
    const auto span = rightCorner - leftCorner;
    const double spanLength = std::hypot(span.x, span.y);
    if (!(spanLength > 0)) {
        return std::nullopt;
    }
    const auto along = span / spanLength;
    const double toLeft = (nose - leftCorner).dot(along);
    const double toRight = (rightCorner - nose).dot(along);
    // A turn by yaw moves the nose tip by depth x sin(yaw) while the corners
    // close in by cos(yaw): the asymmetry is depth / half-span x tan(yaw).
    const double asymmetry = std::clamp((toLeft - toRight) / (toLeft + toRight), -1.0, 1.0);
    const double yaw = std::atan(asymmetry / noseDepthOverHalfEyeSpan);
    if (!std::isfinite(roll) || !std::isfinite(yaw)) {
        return std::nullopt;
    }
    return FacePose{roll, yaw};
}

}  // namespace lumenary::platform::vision
