#include "platform/vision/worker/hand_pose/hand_pose_pipeline.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/hand_pose/hand_confidence.hpp"
#include "platform/vision/worker/hand_pose/hand_crop.hpp"
#include "platform/vision/worker/hand_pose/hand_landmarks.hpp"
#include "platform/vision/worker/hand_pose/palm_detection.hpp"

namespace lumenary::platform::vision {

namespace {

// A palm scored lower is no palm; palms overlapping more are one.
constexpr float minimumPalmScore = 0.5F;
constexpr float maximumPalmOverlap = 0.3F;
// Two palms found on one hand (the palm and the back of the fingers, say)
// give hands whose joints cover the same place: the later one is dropped.
constexpr double maximumHandOverlap = 0.5;

std::span<const float> valuesOf(const cv::Mat& blob) {
    if (blob.empty() || blob.type() != CV_32F || !blob.isContinuous()) {
        return {};
    }
    return {blob.ptr<float>(), blob.total()};
}

// The palm detector misses a hand that fills most of its view (it learnt
// palms with an arm and a background around them), so it also looks at the
// image shrunk to this part of its view.
constexpr float zoomedOutPalmView = 0.5F;

// The palms the detector finds on `fitted` (the image already scaled by
// `fittedScale` to fit the detector's square) shrunk to `viewPart` of it,
// centred, the rest black.
std::vector<PalmDetection> palmsInView(const cv::Mat& fitted, float fittedScale, VisionNetwork& palms,
                                       float viewPart) {
    const cv::Size scaled(std::max(1, static_cast<int>(std::lround(fitted.cols * viewPart))),
                          std::max(1, static_cast<int>(std::lround(fitted.rows * viewPart))));
    cv::Mat input(palmInputSide, palmInputSide, CV_8UC3, cv::Scalar::all(0));
    const cv::Rect placed((palmInputSide - scaled.width) / 2, (palmInputSide - scaled.height) / 2, scaled.width,
                          scaled.height);
    if (scaled == fitted.size()) {
        fitted.copyTo(input(placed));
    } else {
        cv::resize(fitted, input(placed), scaled, 0, 0, cv::INTER_AREA);
    }
    PalmInputPlacement placement;
    placement.scale = fittedScale * viewPart;
    placement.offset = cv::Point2f(static_cast<float>(placed.x), static_cast<float>(placed.y));
    // Values from -1 to 1: scaled to 0..1 the detector finds fewer of the
    // hands in a group photo and scores true palms lower.
    const auto outputs = palms.run(cv::dnn::blobFromImage(input, 1.0 / 127.5, cv::Size(), cv::Scalar::all(127.5)));
    if (outputs.empty()) {
        return {};
    }
    return decodePalmDetections(valuesOf(outputs.front()), placement, minimumPalmScore);
}

std::vector<PalmDetection> findPalms(const cv::Mat& rgb, VisionNetwork& palms) {
    // The image is scaled down once; both views are made from that copy.
    const float scale = static_cast<float>(palmInputSide) / static_cast<float>(std::max(rgb.cols, rgb.rows));
    const cv::Size fittedSize(std::clamp(static_cast<int>(std::lround(rgb.cols * scale)), 1, palmInputSide),
                              std::clamp(static_cast<int>(std::lround(rgb.rows * scale)), 1, palmInputSide));
    cv::Mat fitted;
    cv::resize(rgb, fitted, fittedSize, 0, 0, cv::INTER_AREA);
    auto found = palmsInView(fitted, scale, palms, 1.0F);
    auto zoomedOut = palmsInView(fitted, scale, palms, zoomedOutPalmView);
    found.insert(found.end(), zoomedOut.begin(), zoomedOut.end());
    return strongestSeparatePalms(std::move(found), maximumPalmOverlap, maximumHandCount);
}

// The box around a hand's joints, normalised (overlaps are the same as in
// pixels).
cv::Rect2d jointBox(const PoseObservation& hand) {
    double left = 1e300;
    double bottom = 1e300;
    double right = -1e300;
    double top = -1e300;
    for (const auto& joint : hand.joints) {
        if (joint.location) {
            left = std::min(left, joint.location->x);
            right = std::max(right, joint.location->x);
            bottom = std::min(bottom, joint.location->y);
            top = std::max(top, joint.location->y);
        }
    }
    return right > left && top > bottom ? cv::Rect2d(left, bottom, right - left, top - bottom) : cv::Rect2d();
}

bool sameHand(const cv::Rect2d& first, const cv::Rect2d& second) {
    const double shared = (first & second).area();
    const double joined = first.area() + second.area() - shared;
    return joined > 0 && shared / joined > maximumHandOverlap;
}

float firstValue(const std::vector<cv::Mat>& outputs, std::size_t index) {
    if (outputs.size() <= index || valuesOf(outputs[index]).empty()) {
        return 0;
    }
    return valuesOf(outputs[index]).front();
}

// The confidence that `crop` (cut around `palm` through `toImage`; the
// landmark network answered `outputs`, of which there are four, on it)
// shows a hand, from what both networks say of it.
float handConfidenceOfCrop(const cv::Mat& crop, const std::vector<cv::Mat>& outputs, const PalmDetection& palm,
                           const cv::Matx23d& toImage, VisionNetwork& landmarks) {
    HandReading reading;
    // The landmarks, the presence, the handedness, the points in metres.
    reading.landmarks = valuesOf(outputs[0]);
    reading.presence = firstValue(outputs, 1);
    reading.handedness = firstValue(outputs, 2);
    reading.worldLandmarks = valuesOf(outputs[3]);
    reading.cropSide = handLandmarkInputSide;
    cv::Matx23d toCrop;
    cv::invertAffineTransform(toImage, toCrop);
    for (std::size_t keypoint = 0; keypoint < palmKeypointCount; ++keypoint) {
        reading.palmKeypoints[keypoint] = cv::Point2f(mappedPoint(toCrop, cv::Point2d(palm.keypoints[keypoint])));
    }
    cv::Mat mirrored;
    cv::flip(crop, mirrored, 1);
    const auto mirroredOutputs = landmarks.run(cv::dnn::blobFromImage(mirrored, 1.0 / 255.0));
    reading.mirroredPresence = firstValue(mirroredOutputs, 1);
    reading.mirroredHandedness = firstValue(mirroredOutputs, 2);
    return handConfidence(reading).combined;
}

}  // namespace

std::vector<PoseObservation> findHandPoses(const cv::Mat& rgb, VisionNetwork& palms, VisionNetwork& landmarks) {
    std::vector<PoseObservation> hands;
    std::vector<cv::Rect2d> handBoxes;
    if (rgb.empty()) {
        return hands;
    }
    for (const auto& palm : findPalms(rgb, palms)) {
        const cv::Matx23d toImage = cropToImage(handCropFor(palm), handLandmarkInputSide);
        cv::Mat crop;
        cv::warpAffine(rgb, crop, toImage, cv::Size(handLandmarkInputSide, handLandmarkInputSide),
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar::all(0));
        const auto outputs = landmarks.run(cv::dnn::blobFromImage(crop, 1.0 / 255.0));
        // A crop the landmark network gives less presence, or one on a hand
        // already kept, is not worth a look at its mirror image.
        const float presence = firstValue(outputs, 1);
        if (!(presence >= minimumHandConfidence) || outputs.size() < 4) {
            continue;
        }
        const cv::Rect2d box = jointBox(handObservation(valuesOf(outputs[0]), presence, toImage, rgb.size()));
        if (std::any_of(handBoxes.begin(), handBoxes.end(), [&](const cv::Rect2d& kept) { return sameHand(kept, box); })) {
            continue;
        }
        const float confidence = handConfidenceOfCrop(crop, outputs, palm, toImage, landmarks);
        if (!(confidence >= minimumHandConfidence)) {
            continue;
        }
        auto hand = handObservation(valuesOf(outputs[0]), confidence, toImage, rgb.size());
        handBoxes.push_back(box);
        hands.push_back(std::move(hand));
    }
    return hands;
}

}  // namespace lumenary::platform::vision
