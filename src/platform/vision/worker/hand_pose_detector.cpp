#include "platform/vision/worker/hand_pose_detector.hpp"

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

PlatformOutcome<std::vector<PoseObservation>> detectHandPoses(const cv::Mat&) {
    return visionServiceError(501, "Hand pose detection is not available on this platform");
}

}  // namespace lumenary::platform::vision
