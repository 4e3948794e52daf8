#include "platform/vision/worker/face_analysis.hpp"

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

PlatformOutcome<std::vector<FaceObservation>> detectFaces(const cv::Mat&) {
    return visionServiceError(501, "Face detection is not available on this platform");
}

PlatformOutcome<std::optional<FaceFeaturePrint>> generateFaceFeature(const cv::Mat&) {
    return visionServiceError(501, "Face search is not available on this platform");
}

PlatformOutcome<std::vector<FaceFeature>> extractAllFaceFeatures(const cv::Mat&) {
    return visionServiceError(501, "Face search is not available on this platform");
}

}  // namespace lumenary::platform::vision
