#include "platform/vision/worker/saliency_map.hpp"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

// Grey with a fine colour texture, as a wall or a table top has.
cv::Mat texturedBackground(cv::Size size) {
    cv::Mat noise(size, CV_8UC3);
    cv::RNG random(7);
    random.fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(118), cv::Scalar::all(138));
    return noise;
}

double intersectionOverUnion(const NormalizedRect& first, const NormalizedRect& second) {
    const double left = std::max(first.x, second.x);
    const double right = std::min(first.x + first.width, second.x + second.width);
    const double bottom = std::max(first.y, second.y);
    const double top = std::min(first.y + first.height, second.y + second.height);
    const double intersection = std::max(0.0, right - left) * std::max(0.0, top - bottom);
    const double united = first.width * first.height + second.width * second.height - intersection;
    return united > 0 ? intersection / united : 0;
}

// `rect` in pixels of an image of `size`, normalised with the origin lower left.
NormalizedRect normalised(const cv::Rect& rect, cv::Size size) {
    return {static_cast<double>(rect.x) / size.width, 1.0 - static_cast<double>(rect.y + rect.height) / size.height,
            static_cast<double>(rect.width) / size.width, static_cast<double>(rect.height) / size.height};
}

TEST(SaliencyMap, FindsEachShapeOnATexturedBackgroundStrongestFirst) {
    const cv::Size size(1024, 768);
    cv::Mat image = texturedBackground(size);
    // The disc stands out more (saturated red) than the rectangle (muted blue).
    cv::circle(image, {300, 300}, 120, cv::Scalar(230, 20, 20), cv::FILLED);
    const cv::Rect rectangle(620, 380, 260, 200);
    cv::rectangle(image, rectangle, cv::Scalar(60, 80, 190), cv::FILLED);

    const auto regions = salientRegions(image);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_GT(intersectionOverUnion(regions[0].boundingBox, normalised({180, 180, 241, 241}, size)), 0.9);
    EXPECT_GT(intersectionOverUnion(regions[1].boundingBox, normalised(rectangle, size)), 0.9);
    EXPECT_GE(regions[0].confidence, regions[1].confidence);
    for (const auto& region : regions) {
        EXPECT_GT(region.confidence, 0.5f);
        EXPECT_LE(region.confidence, 1.0f);
    }
}

TEST(SaliencyMap, FindsNoRegionWhereNothingStandsOut) {
    const std::vector<cv::Mat> images = {
        cv::Mat(300, 400, CV_8UC3, cv::Scalar(90, 120, 150)),
        texturedBackground({400, 300}),
        cv::Mat(1, 1, CV_8UC3, cv::Scalar(255, 0, 0)),
    };
    for (const auto& image : images) {
        SCOPED_TRACE(image.size());
        EXPECT_TRUE(salientRegions(image).empty());
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
