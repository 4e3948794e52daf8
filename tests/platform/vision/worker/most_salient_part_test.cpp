#include "platform/vision/worker/most_salient_part.hpp"

#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

// Grey with a fine texture, as fur or a wall has.
cv::Mat texture(cv::Size size) {
    cv::Mat noise(size, CV_8UC3);
    cv::RNG(11).fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(110), cv::Scalar::all(146));
    return noise;
}

TEST(MostSalientPart, SurroundsWhatStandsOutOfTheImagesOwnTexture) {
    struct Case {
        const char* name;
        cv::Point spot;
        cv::Size size;
    };
    const std::vector<Case> cases = {
        {"a dark spot up right", {300, 80}, {400, 300}},
        {"a dark spot down left", {70, 230}, {400, 300}},
        {"a dark spot in a tall image", {100, 500}, {200, 600}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        cv::Mat image = texture(testCase.size);
        cv::circle(image, testCase.spot, 18, cv::Scalar::all(10), cv::FILLED);
        const auto part = mostSalientPart(image);
        ASSERT_TRUE(part);
        EXPECT_TRUE(part->contains(testCase.spot)) << *part;
        EXPECT_LT(part->area(), image.size().area() / 4) << *part;
        EXPECT_EQ(*part & cv::Rect({}, image.size()), *part);
    }
}

TEST(MostSalientPart, FindsNothingInAnEvenOrTinyImage) {
    const std::vector<cv::Mat> images = {
        cv::Mat(300, 400, CV_8UC3, cv::Scalar(90, 120, 150)),
        cv::Mat(1, 1, CV_8UC3, cv::Scalar(255, 0, 0)),
        cv::Mat(1, 500, CV_8UC3, cv::Scalar(0, 0, 0)),
    };
    for (const auto& image : images) {
        SCOPED_TRACE(image.size());
        EXPECT_FALSE(mostSalientPart(image));
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
