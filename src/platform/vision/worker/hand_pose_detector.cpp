#include "platform/vision/worker/hand_pose_detector.hpp"

#include "platform/vision/worker/hand_pose/hand_pose_pipeline.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"

namespace lumenary::platform::vision {

PlatformOutcome<std::vector<PoseObservation>> detectHandPoses(const cv::Mat& rgb) {
    auto& store = VisionNetworkStore::shared();
    auto palms = store.network(handDetectNetwork);
    if (!palms) {
        return palms.error();
    }
    auto landmarks = store.network(handLandmarkNetwork);
    if (!landmarks) {
        return landmarks.error();
    }
    return findHandPoses(rgb, *palms.value(), *landmarks.value());
}

}  // namespace lumenary::platform::vision
