#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// PoseNet's 17 keypoints, in its order: nose, left eye, right eye, left
// ear, right ear, left shoulder, right shoulder, left elbow, right elbow,
// left wrist, right wrist, left hip, right hip, left knee, right knee, left
// ankle, right ankle.
inline constexpr int posenetKeypointCount = 17;

struct PosenetKeypoint {
    cv::Point2f position;  // input pixels
    float score = 0;       // 0 to 1
};

struct PosenetPose {
    std::array<PosenetKeypoint, posenetKeypointCount> keypoints;
    // The mean score of the keypoints no earlier pose already holds.
    float score = 0;
};

struct PosenetDecoding {
    int outputStride = 16;
    int maximumPoses = 10;
    // A keypoint must score this much, and be the best in its 3 x 3 cells,
    // to start a pose.
    float rootThreshold = 0.5f;
    // Input pixels within which a keypoint counts as another pose's.
    float suppressionRadius = 20.0f;
};

// The people in PoseNet's outputs, in the order the multi-person decoder
// of PoseNet finds them (strongest root keypoint first): `outputs` are the
// heatmaps (1 x 17 x H x W logits), offsets (1 x 34 x H x W: 17 y then 17
// x), and forward and backward displacements (1 x 32 x H x W: 16 y then 16
// x, along the skeleton's edges). Each pose grows from its root keypoint
// along the skeleton by the displacements, refined by the offsets. Outputs
// of another shape give no pose.
std::vector<PosenetPose> posenetPoses(const std::vector<cv::Mat>& outputs, const PosenetDecoding& decoding);

}  // namespace lumenary::platform::vision
