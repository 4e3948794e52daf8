#include "platform/vision/worker/body_pose_detector.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/pose_joints.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"

namespace lumenary::platform::vision {

namespace {

constexpr int posenetInputSide = 385;
constexpr float minimumPoseScore = 0.15f;
constexpr float minimumKeypointScore = 0.1f;

// Where each body joint comes from: a PoseNet keypoint, or -1 for the neck.
constexpr int neck = -1;
constexpr std::array<int, bodyJointKeys.size()> keypointOfJoint = {0, 1, 2,  3,  4,  5,  6,  neck, 7,
                                                                   8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr int leftShoulder = 5;
constexpr int rightShoulder = 6;

NormalizedPoint normalised(cv::Point2f input, double scale, cv::Size size) {
    const double x = input.x / scale / size.width;
    const double y = 1.0 - input.y / scale / size.height;
    return {std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)};
}

float reported(float score) {
    return score >= minimumKeypointScore ? score : 0.0f;
}

}  // namespace

std::vector<PoseObservation> bodyPoseObservations(const std::vector<PosenetPose>& poses, double scale,
                                                  cv::Size size) {
    std::vector<PoseObservation> observations;
    for (const auto& pose : poses) {
        if (pose.score < minimumPoseScore) {
            continue;
        }
        PoseObservation observation{pose.score, {}};
        for (std::size_t joint = 0; joint < bodyJointKeys.size(); ++joint) {
            const int keypoint = keypointOfJoint[joint];
            PoseJoint reportedJoint{std::string(bodyJointKeys[joint]), std::nullopt, 0.0f};
            if (keypoint == neck) {
                const auto& left = pose.keypoints[leftShoulder];
                const auto& right = pose.keypoints[rightShoulder];
                reportedJoint.location = normalised((left.position + right.position) * 0.5f, scale, size);
                reportedJoint.confidence = std::min(reported(left.score), reported(right.score));
            } else {
                const auto& found = pose.keypoints[static_cast<std::size_t>(keypoint)];
                reportedJoint.location = normalised(found.position, scale, size);
                reportedJoint.confidence = reported(found.score);
            }
            observation.joints.push_back(std::move(reportedJoint));
        }
        observations.push_back(std::move(observation));
    }
    return observations;
}

PlatformOutcome<std::vector<PoseObservation>> detectBodyPoses(const cv::Mat& rgb) {
    auto network = VisionNetworkStore::shared().network(posenetNetwork);
    if (!network) {
        return network.error();
    }
    // Letterboxed: the image keeps its shape, black around it.
    const double scale = static_cast<double>(posenetInputSide) / std::max(rgb.cols, rgb.rows);
    const cv::Size scaled(std::max(1, static_cast<int>(std::lround(rgb.cols * scale))),
                          std::max(1, static_cast<int>(std::lround(rgb.rows * scale))));
    cv::Mat canvas(posenetInputSide, posenetInputSide, CV_8UC3, cv::Scalar::all(0));
    cv::Mat placed = canvas(cv::Rect(0, 0, scaled.width, scaled.height));
    cv::resize(rgb, placed, scaled, 0, 0, cv::INTER_AREA);
    const cv::Mat blob =
        cv::dnn::blobFromImage(canvas, 1.0 / 127.5, cv::Size(), cv::Scalar::all(127.5), false, false);
    const auto poses = posenetPoses(network.value()->run(blob), PosenetDecoding{});
    return bodyPoseObservations(poses, scale, rgb.size());
}

}  // namespace lumenary::platform::vision
