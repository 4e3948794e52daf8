#include "platform/vision/worker/face_skin_tone.hpp"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

namespace {

// Skin of every complexion falls in one compact block of the chroma plane,
// whatever its brightness.
constexpr int minimumSkinRed = 133;
constexpr int maximumSkinRed = 173;
constexpr int minimumSkinBlue = 77;
constexpr int maximumSkinBlue = 127;
// A region whose chroma stays this close to grey on average says nothing
// about its colour.
constexpr double minimumMeanChroma = 4.0;

}  // namespace

std::optional<double> skinToneShare(const cv::Mat& rgb, const std::vector<cv::Point2f>& landmarks) {
    if (rgb.empty() || rgb.type() != CV_8UC3 || landmarks.size() < 3) {
        return std::nullopt;
    }
    for (const auto& point : landmarks) {
        if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
            return std::nullopt;
        }
    }
    std::vector<cv::Point2f> hull;
    cv::convexHull(landmarks, hull);
    const cv::Rect region = cv::boundingRect(hull) & cv::Rect(0, 0, rgb.cols, rgb.rows);
    if (region.empty()) {
        return std::nullopt;
    }
    std::vector<cv::Point> outline;
    for (const auto& point : hull) {
        outline.emplace_back(static_cast<int>(std::lround(point.x)) - region.x,
                             static_cast<int>(std::lround(point.y)) - region.y);
    }
    cv::Mat inside(region.size(), CV_8U, cv::Scalar::all(0));
    cv::fillConvexPoly(inside, outline, cv::Scalar::all(255));
    cv::Mat chroma;
    cv::cvtColor(rgb(region), chroma, cv::COLOR_RGB2YCrCb);
    long pixels = 0;
    long skin = 0;
    double chromaSum = 0;
    for (int row = 0; row < chroma.rows; ++row) {
        const auto* colour = chroma.ptr<cv::Vec3b>(row);
        const auto* mask = inside.ptr<unsigned char>(row);
        for (int column = 0; column < chroma.cols; ++column) {
            if (mask[column] == 0) {
                continue;
            }
            const int red = colour[column][1];
            const int blue = colour[column][2];
            ++pixels;
            chromaSum += std::abs(red - 128) + std::abs(blue - 128);
            if (red >= minimumSkinRed && red <= maximumSkinRed && blue >= minimumSkinBlue && blue <= maximumSkinBlue) {
                ++skin;
            }
        }
    }
    if (pixels == 0 || chromaSum / static_cast<double>(pixels) < minimumMeanChroma) {
        return std::nullopt;
    }
    return static_cast<double>(skin) / static_cast<double>(pixels);
}

}  // namespace lumenary::platform::vision
