#include "platform/vision/worker/saliency_map.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

namespace {

// In Lab units (ΔE): a fine texture peaks near 11, objects that catch the
// eye sit far above 30.
constexpr double contrastFloor = 20.0;
// Specks smaller than this share of the image are no region.
constexpr double smallestRegionShare = 0.001;

cv::Mat workingCopy(const cv::Mat& rgb) {
    const double scale = std::min(1.0, static_cast<double>(saliencyWorkingSide) / std::max(rgb.cols, rgb.rows));
    if (scale >= 1.0) {
        return rgb;
    }
    cv::Mat small;
    const cv::Size size(std::max(1, static_cast<int>(std::lround(rgb.cols * scale))),
                        std::max(1, static_cast<int>(std::lround(rgb.rows * scale))));
    cv::resize(rgb, small, size, 0, 0, cv::INTER_AREA);
    return small;
}

// Each pixel's Lab distance from the image's mean colour.
cv::Mat contrastMap(const cv::Mat& rgb) {
    cv::Mat samples;
    rgb.convertTo(samples, CV_32FC3, 1.0 / 255.0);
    cv::GaussianBlur(samples, samples, cv::Size(5, 5), 0);
    cv::Mat lab;
    cv::cvtColor(samples, lab, cv::COLOR_RGB2Lab);
    const cv::Scalar mean = cv::mean(lab);
    cv::Mat difference = lab - mean;
    cv::Mat squared;
    cv::multiply(difference, difference, squared);
    std::vector<cv::Mat> channels;
    cv::split(squared, channels);
    cv::Mat contrast;
    cv::sqrt(channels[0] + channels[1] + channels[2], contrast);
    return contrast;
}

}  // namespace

std::vector<SalientObject> salientRegions(const cv::Mat& rgb) {
    if (rgb.empty()) {
        return {};
    }
    const cv::Mat small = workingCopy(rgb);
    const cv::Mat contrast = contrastMap(small);
    double peak = 0;
    cv::minMaxLoc(contrast, nullptr, &peak);
    if (!std::isfinite(peak) || peak < contrastFloor) {
        return {};
    }

    cv::Mat normalised;
    contrast.convertTo(normalised, CV_8U, 255.0 / peak);
    cv::Mat mask;
    cv::threshold(normalised, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    const int kernelSide = std::max(3, std::min(small.cols, small.rows) / 50) | 1;
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(kernelSide, kernelSide)));

    cv::Mat labels, statistics, centroids;
    const int count = cv::connectedComponentsWithStats(mask, labels, statistics, centroids, 8, CV_32S);
    const double width = small.cols;
    const double height = small.rows;
    const double smallestArea = std::max(1.0, smallestRegionShare * width * height);
    std::vector<SalientObject> regions;
    for (int label = 1; label < count; ++label) {
        const int area = statistics.at<int>(label, cv::CC_STAT_AREA);
        if (area < smallestArea) {
            continue;
        }
        const double meanContrast = cv::mean(contrast, labels == label)[0];
        if (!std::isfinite(meanContrast) || meanContrast < contrastFloor) {
            continue;
        }
        const int left = statistics.at<int>(label, cv::CC_STAT_LEFT);
        const int top = statistics.at<int>(label, cv::CC_STAT_TOP);
        const int regionWidth = statistics.at<int>(label, cv::CC_STAT_WIDTH);
        const int regionHeight = statistics.at<int>(label, cv::CC_STAT_HEIGHT);
        SalientObject region;
        region.confidence = static_cast<float>(std::clamp(meanContrast / peak, 0.0, 1.0));
        // Origin at the lower left.
        region.boundingBox = {left / width, 1.0 - (top + regionHeight) / height, regionWidth / width,
                              regionHeight / height};
        regions.push_back(region);
    }
    std::stable_sort(regions.begin(), regions.end(),
                     [](const SalientObject& first, const SalientObject& second) {
                         return first.confidence > second.confidence;
                     });
    return regions;
}

}  // namespace lumenary::platform::vision
