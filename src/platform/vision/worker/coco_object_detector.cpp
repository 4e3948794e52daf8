#include "platform/vision/worker/coco_object_detector.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

namespace {

// The network's input for a view, and how its pixels map back.
struct DetectorInput {
    cv::Mat blob;
    double scale = 1.0;
    cv::Point2d offset;
};

DetectorInput detectorInputOf(const cv::Mat& rgb, const DetectorView& view) {
    const double canvasSide = std::max(view.region.width, view.region.height) / view.fill;
    DetectorInput input;
    input.scale = cocoDetectorInputSide / canvasSide;
    const cv::Size scaled(
        std::clamp(static_cast<int>(std::lround(view.region.width * input.scale)), 1, cocoDetectorInputSide),
        std::clamp(static_cast<int>(std::lround(view.region.height * input.scale)), 1, cocoDetectorInputSide));
    input.offset = {std::floor((cocoDetectorInputSide - scaled.width) / 2.0),
                    std::floor((cocoDetectorInputSide - scaled.height) / 2.0)};
    cv::Mat canvas(cocoDetectorInputSide, cocoDetectorInputSide, CV_8UC3, cv::Scalar(114, 114, 114));
    cv::Mat placed = canvas(cv::Rect(static_cast<int>(input.offset.x), static_cast<int>(input.offset.y), scaled.width,
                                     scaled.height));
    cv::resize(rgb(view.region), placed, scaled, 0, 0, cv::INTER_AREA);
    cv::Mat normalised;
    canvas.convertTo(normalised, CV_32FC3);
    normalised -= cv::Scalar(123.675, 116.28, 103.53);
    cv::divide(normalised, cv::Scalar(58.395, 57.12, 57.375), normalised);
    // The network was trained on BGR.
    input.blob = cv::dnn::blobFromImage(normalised, 1.0, cv::Size(), cv::Scalar(), true, false);
    return input;
}

}  // namespace

std::vector<DetectedObject> detectObjectsInView(VisionNetwork& network, const cv::Mat& rgb, const DetectorView& view,
                                                const std::vector<int>& classes, float minimumScore) {
    const auto input = detectorInputOf(rgb, view);
    auto objects = nanodetObjects(network.run(input.blob), cocoDetectorInputSide, classes, minimumScore);
    for (auto& object : objects) {
        object.box = cv::Rect2f(
            static_cast<float>((object.box.x - input.offset.x) / input.scale + view.region.x),
            static_cast<float>((object.box.y - input.offset.y) / input.scale + view.region.y),
            static_cast<float>(object.box.width / input.scale), static_cast<float>(object.box.height / input.scale));
    }
    return objects;
}

}  // namespace lumenary::platform::vision
