#include "platform/vision/worker/most_salient_part.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

namespace {

// The method's own scale: finer maps follow texture rather than objects.
constexpr int mapSide = 64;
constexpr double spotLevel = 3.0;
constexpr double margin = 0.25;

cv::Mat greyCopy(const cv::Mat& rgb) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    const double scale = std::min(1.0, static_cast<double>(mapSide) / std::max(grey.cols, grey.rows));
    cv::Mat small;
    cv::resize(grey, small,
               {std::max(1, static_cast<int>(std::lround(grey.cols * scale))),
                std::max(1, static_cast<int>(std::lround(grey.rows * scale)))},
               0, 0, cv::INTER_AREA);
    return small;
}

cv::Mat spectralResidual(const cv::Mat& small) {
    cv::Mat samples;
    small.convertTo(samples, CV_32F, 1.0 / 255.0);
    cv::Mat spectrum;
    cv::dft(samples, spectrum, cv::DFT_COMPLEX_OUTPUT);
    cv::Mat planes[2];
    cv::split(spectrum, planes);
    cv::Mat amplitude, phase;
    cv::cartToPolar(planes[0], planes[1], amplitude, phase);
    cv::Mat logAmplitude;
    cv::log(amplitude + 1e-6f, logAmplitude);
    cv::Mat average;
    cv::blur(logAmplitude, average, {3, 3}, {-1, -1}, cv::BORDER_REPLICATE);
    cv::Mat residual;
    cv::exp(logAmplitude - average, residual);
    cv::polarToCart(residual, phase, planes[0], planes[1]);
    cv::merge(planes, 2, spectrum);
    cv::Mat back;
    cv::idft(spectrum, back, cv::DFT_SCALE | cv::DFT_COMPLEX_OUTPUT);
    cv::split(back, planes);
    cv::Mat power;
    cv::magnitude(planes[0], planes[1], power);
    power = power.mul(power);
    cv::GaussianBlur(power, power, {}, mapSide / 24.0);
    return power;
}

}  // namespace

std::optional<cv::Rect> mostSalientPart(const cv::Mat& rgb) {
    if (rgb.cols < 2 || rgb.rows < 2) {
        return std::nullopt;
    }
    const cv::Mat map = spectralResidual(greyCopy(rgb));
    const double level = cv::mean(map)[0];
    if (!std::isfinite(level) || level <= 0) {
        return std::nullopt;
    }
    const cv::Mat spots = map >= spotLevel * level;
    const cv::Rect found = cv::boundingRect(spots);
    if (found.empty()) {
        return std::nullopt;
    }
    const double scaleX = static_cast<double>(rgb.cols) / map.cols;
    const double scaleY = static_cast<double>(rgb.rows) / map.rows;
    const cv::Rect2d part((found.x - margin * found.width) * scaleX, (found.y - margin * found.height) * scaleY,
                          (1 + 2 * margin) * found.width * scaleX, (1 + 2 * margin) * found.height * scaleY);
    const cv::Rect inside = cv::Rect(part) & cv::Rect(0, 0, rgb.cols, rgb.rows);
    if (inside.empty()) {
        return std::nullopt;
    }
    return inside;
}

}  // namespace lumenary::platform::vision
