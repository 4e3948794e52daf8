#include "platform/vision/worker/face_descriptor_print.hpp"

#include <cmath>
#include <mutex>
#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"

namespace lumenary::platform::vision {

namespace {

constexpr std::size_t faceDescriptorLength = 1024;

PlatformOutcome<FaceFeaturePrint> printFailure() {
    return visionServiceError(500, "Failed to generate feature print");
}

}  // namespace

PlatformOutcome<FaceFeaturePrint> faceDescriptorPrint(const cv::Mat& alignedRgb) {
    auto network = VisionNetworkStore::shared().network(faceDescriptorNetwork);
    if (!network) {
        return network.error();
    }
    // The shared network runs one input at a time; the face backend may be
    // called from several threads.
    static std::mutex running;
    const std::lock_guard lock(running);
    return faceDescriptorPrint(alignedRgb, *network.value());
}

PlatformOutcome<FaceFeaturePrint> faceDescriptorPrint(const cv::Mat& alignedRgb, VisionNetwork& network) {
    if (alignedRgb.empty() || alignedRgb.type() != CV_8UC3) {
        return printFailure();
    }
    // The network was trained on raw 0..255 channel values.
    const cv::Mat input = cv::dnn::blobFromImage(alignedRgb, 1.0, cv::Size(faceChipSide, faceChipSide),
                                                 cv::Scalar(), false, false, CV_32F);
    std::vector<cv::Mat> outputs;
    try {
        outputs = network.run(input);
    } catch (const cv::Exception&) {
        return printFailure();
    }
    if (outputs.empty() || outputs.front().type() != CV_32F || outputs.front().total() != faceDescriptorLength) {
        return printFailure();
    }
    const cv::Mat descriptor = outputs.front().reshape(1, 1);
    const double length = cv::norm(descriptor, cv::NORM_L2);
    if (!std::isfinite(length) || length <= 0) {
        return printFailure();
    }
    FaceFeaturePrint print;
    print.values.reserve(faceDescriptorLength);
    for (std::size_t index = 0; index < faceDescriptorLength; ++index) {
        print.values.push_back(static_cast<float>(descriptor.at<float>(0, static_cast<int>(index)) / length));
    }
    return print;
}

}  // namespace lumenary::platform::vision
