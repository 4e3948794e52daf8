#include "platform/vision/worker/face_analysis.hpp"

#include <charconv>
#include <cmath>
#include <iostream>

#include "platform/vision/worker/dlib_face_backend.hpp"
#include "platform/vision/worker/face_crop.hpp"
#include "platform/vision/worker/rotated_image.hpp"

namespace lumenary::platform::vision {

namespace {

bool leans(const FaceObservation& face) {
    return face.roll && std::abs(*face.roll) > faceRollCorrectionThreshold;
}

// The shortest text that reads back as the same number ("-0.5").
std::string numberText(double number) {
    char text[32] = {};
    const auto end = std::to_chars(text, text + sizeof(text), number).ptr;
    return std::string(text, end);
}

// The print of `face` from its crop of `rgb`; the crop turned upright first
// when `straighten` is set and the face leans. Nothing when the crop misses
// the image.
PlatformOutcome<std::optional<FaceFeaturePrint>> printOfCrop(const cv::Mat& rgb, const DetectedFace& face,
                                                             FaceBackend& backend, bool straighten) {
    const auto crop = faceCropRect(face.observation.boundingBox, rgb.size());
    if (!crop) {
        return std::optional<FaceFeaturePrint>();
    }
    cv::Mat cropped = rgb(*crop);
    std::vector<cv::Point2f> landmarks;
    for (const auto& point : face.landmarks) {
        landmarks.push_back(point - cv::Point2f(static_cast<float>(crop->x), static_cast<float>(crop->y)));
    }
    if (straighten && leans(face.observation)) {
        auto rotated = rotateImage(cropped, -*face.observation.roll);
        cv::transform(landmarks, landmarks, rotated.transform);
        cropped = std::move(rotated.image);
    }
    auto print = backend.print(cropped, landmarks);
    if (!print) {
        return print.error();
    }
    return std::optional<FaceFeaturePrint>(std::move(print).value());
}

PlatformOutcome<std::optional<FaceFeaturePrint>> firstFacePrint(const cv::Mat& rgb, FaceBackend& backend,
                                                                std::ostream& console, bool allowCorrection) {
    auto faces = backend.detect(rgb);
    if (!faces) {
        return faces.error();
    }
    if (faces.value().empty()) {
        return std::optional<FaceFeaturePrint>();
    }
    const auto& first = faces.value().front();
    if (allowCorrection && leans(first.observation)) {
        const double roll = *first.observation.roll;
        const auto upright = rotateImage(rgb, -roll);
        console << "Face rotation detected (roll: " << numberText(roll) << "). Correcting image...\n" << std::flush;
        return firstFacePrint(upright.image, backend, console, false);
    }
    return printOfCrop(rgb, first, backend, false);
}

}  // namespace

PlatformOutcome<std::vector<FaceObservation>> detectFaces(const cv::Mat& rgb) {
    return detectFaces(rgb, dlibFaceBackend());
}

PlatformOutcome<std::vector<FaceObservation>> detectFaces(const cv::Mat& rgb, FaceBackend& backend) {
    auto faces = backend.detect(rgb);
    if (!faces) {
        return faces.error();
    }
    std::vector<FaceObservation> observations;
    for (auto& face : faces.value()) {
        observations.push_back(std::move(face.observation));
    }
    return observations;
}

PlatformOutcome<std::optional<FaceFeaturePrint>> generateFaceFeature(const cv::Mat& rgb) {
    // Standard output is the server's protocol stream; notices go to
    // standard error.
    return generateFaceFeature(rgb, dlibFaceBackend(), std::cerr);
}

PlatformOutcome<std::optional<FaceFeaturePrint>> generateFaceFeature(const cv::Mat& rgb, FaceBackend& backend,
                                                                     std::ostream& console) {
    return firstFacePrint(rgb, backend, console, true);
}

PlatformOutcome<std::vector<FaceFeature>> extractAllFaceFeatures(const cv::Mat& rgb) {
    return extractAllFaceFeatures(rgb, dlibFaceBackend());
}

PlatformOutcome<std::vector<FaceFeature>> extractAllFaceFeatures(const cv::Mat& rgb, FaceBackend& backend) {
    auto faces = backend.detect(rgb);
    if (!faces) {
        return faces.error();
    }
    // Leaving out faces one at a time is for a face that cannot be printed;
    // a model that cannot be loaded leaves out every face, and must say so.
    if (!faces.value().empty()) {
        if (auto unavailable = backend.printingUnavailable()) {
            return std::move(*unavailable);
        }
    }
    std::vector<FaceFeature> features;
    for (const auto& face : faces.value()) {
        auto print = printOfCrop(rgb, face, backend, true);
        if (print && print.value()) {
            features.push_back(FaceFeature{std::move(*print.value()), face.observation.boundingBox});
        }
    }
    return features;
}

}  // namespace lumenary::platform::vision
