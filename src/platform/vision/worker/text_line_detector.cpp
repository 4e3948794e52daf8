#include "platform/vision/worker/text_line_detector.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <variant>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/defaults/cache_directory.hpp"
#include "platform/vision/worker/onnx_network_loader.hpp"

namespace lumenary::platform::vision {
namespace {

constexpr const char* detectionNetworkFile = "ch_PP-OCRv4_det_infer.onnx";
// The size the network was trained for: the signs of the labelled photos
// are all found at it (at 1280 too, in 1.6 times the time).
constexpr int longestDetectionSide = 960;
constexpr int detectionStride = 32;
// Below this mean probability a region is more often a texture than text.
constexpr float minimumLineConfidence = 0.6F;
constexpr std::size_t mostLines = 1000;

struct LoadedDetector {
    std::filesystem::path folder;
    std::unique_ptr<cv::dnn::Net> net;
};

cv::dnn::Net* detector() {
    static std::optional<LoadedDetector> loaded;
    const std::filesystem::path folder = textNetworksFolder();
    if (loaded && loaded->folder == folder) {
        return loaded->net.get();
    }
    auto network = loadedOnnxNetwork(
        folder / detectionNetworkFile,
        {.rewrite = {.inputShape = {}, .vectorScaledRank = {}, .ownLayers = true}, .fuseLayers = false});
    loaded = LoadedDetector{folder, nullptr};
    if (auto* reason = std::get_if<std::string>(&network)) {
        std::cerr << "lumenary-vision: text lines are found by layout analysis alone, without the network "
                  << (folder / detectionNetworkFile).string() << ": " << *reason
                  << "; run scripts/setup to fetch it\n";
        return nullptr;
    }
    loaded->net = std::move(std::get<std::unique_ptr<cv::dnn::Net>>(network));
    return loaded->net.get();
}

int strideMultiple(double side) {
    return std::max(detectionStride, static_cast<int>(std::lround(side / detectionStride)) * detectionStride);
}

}  // namespace

std::filesystem::path textNetworksFolder() {
    if (const char* folder = std::getenv(textNetworksFolderVariable); folder != nullptr && *folder != '\0') {
        return folder;
    }
    // scripts/setup fetches the networks into this folder (text_networks_dir there).
    return cacheDirectory() / "ocr-models-1.4.2";
}

std::optional<std::vector<DetectedTextLine>> detectTextLines(const cv::Mat& rgb) {
    cv::dnn::Net* net = detector();
    if (net == nullptr) {
        return std::nullopt;
    }
    const double scale = std::min(1.0, static_cast<double>(longestDetectionSide) / std::max(rgb.cols, rgb.rows));
    const cv::Size input(strideMultiple(rgb.cols * scale), strideMultiple(rgb.rows * scale));
    cv::Mat scaled;
    cv::resize(rgb, scaled, input, 0, 0, cv::INTER_AREA);
    // The network was trained on images normalised channel by channel with
    // ImageNet's means and deviations, in blue, green, red order.
    cv::Mat normalised;
    scaled.convertTo(normalised, CV_32FC3, 1.0 / 255);
    cv::subtract(normalised, cv::Scalar(0.406, 0.456, 0.485), normalised);
    cv::divide(normalised, cv::Scalar(0.225, 0.224, 0.229), normalised);
    const cv::Mat blob = cv::dnn::blobFromImage(normalised, 1.0, cv::Size(), cv::Scalar(), true, false, CV_32F);
    cv::Mat output;
    try {
        net->setInput(blob);
        output = net->forward();
    } catch (const cv::Exception& error) {
        std::cerr << "lumenary-vision: the text-detection network failed on a " << input.width << "x" << input.height
                  << " image: " << error.what() << "\n";
        return std::nullopt;
    }
    if (output.dims != 4 || output.size[2] != input.height || output.size[3] != input.width) {
        return std::nullopt;
    }
    const cv::Mat probabilities(input.height, input.width, CV_32F, output.ptr<float>(0, 0));
    std::vector<DetectedTextLine> lines =
        textLinesInProbabilityMap(probabilities, minimumLineConfidence, mostLines);
    const float scaleX = static_cast<float>(rgb.cols) / static_cast<float>(input.width);
    const float scaleY = static_cast<float>(rgb.rows) / static_cast<float>(input.height);
    for (DetectedTextLine& line : lines) {
        cv::Point2f corners[4];
        line.box.points(corners);
        std::vector<cv::Point2f> scaledCorners;
        for (const cv::Point2f& corner : corners) {
            scaledCorners.emplace_back(corner.x * scaleX, corner.y * scaleY);
        }
        line.box = cv::minAreaRect(scaledCorners);
    }
    return withPiecesJoined(inReadingOrder(std::move(lines)));
}

}  // namespace lumenary::platform::vision
