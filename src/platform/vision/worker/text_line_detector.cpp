#include "platform/vision/worker/text_line_detector.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>
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
// The network finds a line only where it sees ground around it: a line cut
// close to its ink, or one running off the image's edge, is found in pieces
// or not at all. An image whose edge is one plain ground (a page, a screen,
// a line cut out of them) is read inside a border of that ground a stride
// wide. A photo's edge is no ground to extend, and a border would only
// shrink what the network sees of it.
constexpr int detectionBorder = detectionStride;
static_assert(longestUnshrunkPlainSide == longestDetectionSide - 2 * detectionBorder);
// A small image with small glyphs is read larger, up to the network's size
// and at most three times: a lone digit or a short word in a dialog's
// field, 10 px high, is otherwise below what the network finds. Glyphs
// are read at about this height; an image whose glyphs are that high
// already is read at its own size, as reading it larger costs time.
constexpr double largestDetectionUpscale = 3;
constexpr double readableGlyphHeight = 24;
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

// The median height of the pieces of ink in a grey image (the darker or
// lighter side of its Otsu threshold, whichever covers less): about a
// glyph's height on a page or a screen. None without such pieces.
std::optional<double> medianInkHeight(const cv::Mat& rgb) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    cv::Mat ink;
    cv::threshold(grey, ink, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
    if (2 * cv::countNonZero(ink) > static_cast<int>(ink.total())) {
        cv::bitwise_not(ink, ink);
    }
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int pieces = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    std::vector<int> heights;
    for (int piece = 1; piece < pieces; ++piece) {
        const int height = stats.at<int>(piece, cv::CC_STAT_HEIGHT);
        // Specks and the frames around everything tell nothing of glyphs.
        if (height >= 3 && stats.at<int>(piece, cv::CC_STAT_AREA) >= 4 && 5 * height < 4 * rgb.rows) {
            heights.push_back(height);
        }
    }
    if (heights.empty()) {
        return std::nullopt;
    }
    const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), middle, heights.end());
    return *middle;
}

// How much larger than its own size an image that fits the network is
// read: enough to bring its glyphs to a readable height.
double detectionUpscale(const cv::Mat& rgb) {
    const auto glyphHeight = medianInkHeight(rgb);
    return glyphHeight ? std::clamp(readableGlyphHeight / *glyphHeight, 1.0, largestDetectionUpscale) : 1.0;
}

}  // namespace

std::filesystem::path textNetworksFolder() {
    if (const char* folder = std::getenv(textNetworksFolderVariable); folder != nullptr && *folder != '\0') {
        return folder;
    }
    // scripts/setup fetches the networks into this folder (text_networks_dir there).
    return cacheDirectory() / "ocr-models-1.4.2";
}

std::optional<std::vector<DetectedTextLine>> detectTextLines(const cv::Mat& rgb, const std::optional<cv::Scalar>& ground) {
    cv::dnn::Net* net = detector();
    if (net == nullptr) {
        return std::nullopt;
    }
    const int border = ground ? detectionBorder : 0;
    const double fit = static_cast<double>(longestDetectionSide - 2 * border) / std::max(rgb.cols, rgb.rows);
    const double scale = fit <= 1 ? fit : std::min(fit, detectionUpscale(rgb));
    const cv::Size inside(strideMultiple(rgb.cols * scale), strideMultiple(rgb.rows * scale));
    cv::Mat resized;
    cv::resize(rgb, resized, inside, 0, 0, scale < 1 ? cv::INTER_AREA : cv::INTER_CUBIC);
    cv::Mat scaled = resized;
    if (ground) {
        cv::copyMakeBorder(resized, scaled, border, border, border, border, cv::BORDER_CONSTANT, *ground);
    }
    const cv::Size input = scaled.size();
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
    const float scaleX = static_cast<float>(rgb.cols) / static_cast<float>(inside.width);
    const float scaleY = static_cast<float>(rgb.rows) / static_cast<float>(inside.height);
    const auto shift = static_cast<float>(border);
    for (DetectedTextLine& line : lines) {
        cv::Point2f corners[4];
        line.box.points(corners);
        std::vector<cv::Point2f> scaledCorners;
        for (const cv::Point2f& corner : corners) {
            scaledCorners.emplace_back((corner.x - shift) * scaleX, (corner.y - shift) * scaleY);
        }
        line.box = cv::minAreaRect(scaledCorners);
    }
    return withoutLinesInsideOthers(withPiecesJoined(inReadingOrder(std::move(lines))));
}

}  // namespace lumenary::platform::vision
