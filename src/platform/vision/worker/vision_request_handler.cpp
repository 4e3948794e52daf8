#include "platform/vision/worker/vision_request_handler.hpp"

#include <exception>
#include <new>
#include <variant>

#include <opencv2/core.hpp>

#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/vision/worker_request.hpp"
#include "platform/vision/worker/animal_recognizer.hpp"
#include "platform/vision/worker/barcode_reader.hpp"
#include "platform/vision/worker/body_pose_detector.hpp"
#include "platform/vision/worker/face_analysis.hpp"
#include "platform/vision/worker/feature_print_hash.hpp"
#include "platform/vision/worker/hand_pose_detector.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/salient_objects.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "platform/vision/worker/video_request_handler.hpp"

namespace lumenary::platform::vision {

namespace {

template <typename Observation, typename Analysis>
PlatformOutcome<std::vector<Observation>> analyseImage(const std::string& path, Analysis analysis,
                                                       int smallestLongerSide = 0) {
    auto image = loadImage(path, smallestLongerSide);
    if (!image) {
        return image.error();
    }
    return analysis(image.value());
}

PlatformOutcome<std::vector<TextObservation>> recognizeText(const VisionWorkerRequest& request) {
    return analyseImage<TextObservation>(request.imagePaths.front(), [&](const cv::Mat& image) {
        return recognizeTextLines(image, request.textOptions);
    });
}

PlatformOutcome<std::vector<BarcodeObservation>> detectBarcodes(const VisionWorkerRequest& request) {
    return analyseImage<BarcodeObservation>(request.imagePaths.front(), readBarcodes);
}

PlatformOutcome<std::vector<SaliencyObservation>> analyzeSaliency(const VisionWorkerRequest& request) {
    return analyseImage<SaliencyObservation>(
        request.imagePaths.front(),
        [&](const cv::Mat& image) -> PlatformOutcome<std::vector<SaliencyObservation>> {
            auto regions = salientObjects(image, request.saliencyKind);
            if (!regions) {
                return regions.error();
            }
            return std::vector<SaliencyObservation>{SaliencyObservation{std::move(regions).value()}};
        },
        salientObjectsWorkingSide);
}

// Each image is printed as soon as it is loaded and let go before the
// next: printing cannot fail, so the first path that fails to load is
// still the one the error names.
PlatformOutcome<std::vector<FeaturePrint>> featurePrints(const VisionWorkerRequest& request) {
    std::vector<FeaturePrint> prints;
    for (const auto& path : request.imagePaths) {
        auto image = loadImage(path, featurePrintSourceSide);
        if (!image) {
            return image.error();
        }
        prints.push_back(featurePrintHash(image.value()));
    }
    return prints;
}

PlatformOutcome<std::vector<FaceObservation>> faces(const VisionWorkerRequest& request) {
    return analyseImage<FaceObservation>(request.imagePaths.front(),
                                         [](const cv::Mat& image) { return detectFaces(image); });
}

PlatformOutcome<std::vector<FaceFeaturePrint>> faceFeaturePrint(const VisionWorkerRequest& request) {
    return analyseImage<FaceFeaturePrint>(
        request.imagePaths.front(), [](const cv::Mat& image) -> PlatformOutcome<std::vector<FaceFeaturePrint>> {
            auto print = generateFaceFeature(image);
            if (!print) {
                return print.error();
            }
            std::vector<FaceFeaturePrint> prints;
            if (print.value()) {
                prints.push_back(std::move(*print.value()));
            }
            return prints;
        });
}

PlatformOutcome<std::vector<FaceFeature>> faceFeatures(const VisionWorkerRequest& request) {
    return analyseImage<FaceFeature>(request.imagePaths.front(),
                                     [](const cv::Mat& image) { return extractAllFaceFeatures(image); });
}

std::string answer(const VisionWorkerRequest& request) {
    if (request.imagePaths.empty()) {
        return encodeVisionErrorAnswer(visionServiceError(400, "The vision worker received a request without an image"));
    }
    switch (request.analysis) {
        case VisionWorkerRequest::Analysis::text:
            return encodeVisionAnswer(recognizeText(request));
        case VisionWorkerRequest::Analysis::barcodes:
            return encodeVisionAnswer(detectBarcodes(request));
        case VisionWorkerRequest::Analysis::saliency:
            return encodeVisionAnswer(analyzeSaliency(request));
        case VisionWorkerRequest::Analysis::featurePrints:
            return encodeVisionAnswer(featurePrints(request));
        case VisionWorkerRequest::Analysis::faces:
            return encodeVisionAnswer(faces(request));
        case VisionWorkerRequest::Analysis::faceFeaturePrint:
            return encodeVisionAnswer(faceFeaturePrint(request));
        case VisionWorkerRequest::Analysis::faceFeatures:
            return encodeVisionAnswer(faceFeatures(request));
        case VisionWorkerRequest::Analysis::animals:
            return encodeVisionAnswer(analyseImage<AnimalObservation>(
                request.imagePaths.front(), [](const cv::Mat& image) { return recognizeAnimals(image); }));
        case VisionWorkerRequest::Analysis::bodyPose:
            return encodeVisionAnswer(analyseImage<PoseObservation>(request.imagePaths.front(), detectBodyPoses));
        case VisionWorkerRequest::Analysis::handPose:
            return encodeVisionAnswer(
                analyseImage<PoseObservation>(request.imagePaths.front(), detectHandPoses, handPoseSourceSide));
    }
    return encodeVisionErrorAnswer(visionServiceError(400, "The vision worker received an unknown analysis"));
}

}  // namespace

std::string answerVisionRequest(std::string_view requestPayload) {
    const auto request = decodeWorkerRequest(requestPayload);
    if (!request) {
        return encodeVisionErrorAnswer(visionServiceError(400, "The vision worker received a request it cannot read"));
    }
    try {
        if (const auto* video = std::get_if<VideoWorkerRequest>(&*request)) {
            return answerVideoRequest(*video);
        }
        return answer(std::get<VisionWorkerRequest>(*request));
    } catch (const std::bad_alloc&) {
        return encodeVisionErrorAnswer(visionServiceError(500, "The image needs more memory than the vision worker may use"));
    } catch (const std::exception& error) {
        return encodeVisionErrorAnswer(visionServiceError(500, std::string("The image analysis failed: ") + error.what()));
    }
}

}  // namespace lumenary::platform::vision
