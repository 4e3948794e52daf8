#include "platform/vision/worker/text_line_crop.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/test_images.hpp"

namespace lumenary::platform::vision {
namespace {

cv::Mat greyOf(const cv::Mat& rgb) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    return grey;
}

// The box around the ink (pixels darker than mid-grey) of a grey image.
cv::Rect inkBounds(const cv::Mat& grey) {
    cv::Mat ink;
    cv::compare(grey, 128, ink, cv::CMP_LT);
    return cv::boundingRect(ink);
}

TEST(UprightLine, CutsATurnedLineOutLevelAtTheAskedHeight) {
    const cv::Mat line = greyOf(vision_test::renderedText({"Upright line 42"}, vision_test::dejaVuSans(), 40));
    const cv::Rect level = inkBounds(line);
    const double levelAspect = static_cast<double>(level.width) / level.height;
    for (const double degrees : {0.0, 8.0, -15.0, 30.0, 90.0, -90.0}) {
        SCOPED_TRACE(degrees);
        const cv::Mat image = greyOf(vision_test::turned(vision_test::renderedText({"Upright line 42"},
                                                                                   vision_test::dejaVuSans(), 40),
                                                         degrees));
        cv::Mat ink;
        cv::compare(image, 128, ink, cv::CMP_LT);
        std::vector<cv::Point> inked;
        cv::findNonZero(ink, inked);
        cv::RotatedRect box = cv::minAreaRect(inked);
        box.size += cv::Size2f(12, 12);
        const cv::Mat upright = uprightLine(image, box, 48, 4000);
        ASSERT_FALSE(upright.empty());
        // A margin of a quarter of the height on each side.
        EXPECT_EQ(upright.rows, 48 + 2 * 12);
        const cv::Rect read = inkBounds(upright);
        EXPECT_NEAR(static_cast<double>(read.width) / read.height, levelAspect, levelAspect * 0.15);
        EXPECT_GT(read.width, read.height * 4);
    }
}

TEST(UprightLine, GivesNothingForABoxOutsideTheImageOrWithoutSize) {
    const cv::Mat image(100, 200, CV_8U, cv::Scalar(255));
    const std::vector<std::pair<std::string, cv::RotatedRect>> cases{
        {"outside", cv::RotatedRect({500, 500}, {50, 10}, 0)},
        {"no width", cv::RotatedRect({50, 50}, {0, 10}, 0)},
        {"no height", cv::RotatedRect({50, 50}, {40, 0.5F}, 0)},
    };
    for (const auto& [name, box] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(uprightLine(image, box, 48, 4000).empty());
    }
}

TEST(UprightLine, ALineLongerThanTheWidestIsReadSmaller) {
    const cv::Mat image(100, 3000, CV_8U, cv::Scalar(255));
    const cv::Mat upright = uprightLine(image, cv::RotatedRect({1500, 50}, {2800, 40}, 0), 48, 1000);
    ASSERT_FALSE(upright.empty());
    // 1000 px wide with its margins, and as much lower as it is narrower.
    EXPECT_GE(upright.cols, 1000);
    EXPECT_LE(upright.cols, 1000 + upright.rows);
    EXPECT_LT(upright.rows, 48);
}

}  // namespace
}  // namespace lumenary::platform::vision
