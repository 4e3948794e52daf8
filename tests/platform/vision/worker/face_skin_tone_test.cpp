#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/worker/face_skin_tone.hpp"

namespace lumenary::platform::vision {
namespace {

// A face's outline: a ring of points around (50, 50) in a 100 px picture.
std::vector<cv::Point2f> outline(cv::Point2f offset = {0, 0}) {
    std::vector<cv::Point2f> points;
    for (int step = 0; step < 68; ++step) {
        const double angle = step * 2 * CV_PI / 68;
        points.emplace_back(static_cast<float>(50 + 30 * std::cos(angle)) + offset.x,
                            static_cast<float>(50 + 30 * std::sin(angle)) + offset.y);
    }
    return points;
}

TEST(FaceSkinTone, IsTheShareOfSkinColouredPixelsInsideTheOutlineAndNothingWithoutColour) {
    struct Case {
        const char* name;
        cv::Scalar colour;  // RGB of the whole picture
        std::vector<cv::Point2f> landmarks;
        std::optional<double> share;
    };
    const std::vector<Case> cases = {
        {"light skin", {224, 172, 150}, outline(), 1.0},
        {"dark skin", {110, 70, 50}, outline(), 1.0},
        {"a blue patch", {40, 60, 160}, outline(), 0.0},
        {"a grey picture", {128, 128, 128}, outline(), std::nullopt},
        {"an outline off the picture", {224, 172, 150}, outline({500, 500}), std::nullopt},
        {"landmarks that are not numbers",
         {224, 172, 150},
         std::vector<cv::Point2f>(68, {std::numeric_limits<float>::quiet_NaN(), 1}),
         std::nullopt},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const cv::Mat picture(100, 100, CV_8UC3, test.colour);
        const auto share = skinToneShare(picture, test.landmarks);
        ASSERT_EQ(share.has_value(), test.share.has_value());
        if (share) {
            EXPECT_DOUBLE_EQ(*share, *test.share);
        }
    }

    // Half the outline skin, half a blue patch.
    cv::Mat halves(100, 100, CV_8UC3, cv::Scalar(224, 172, 150));
    halves(cv::Rect(50, 0, 50, 100)).setTo(cv::Scalar(40, 60, 160));
    EXPECT_NEAR(skinToneShare(halves, outline()).value_or(-1), 0.5, 0.05);
}

}  // namespace
}  // namespace lumenary::platform::vision
