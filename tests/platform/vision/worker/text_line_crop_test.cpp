#include "platform/vision/worker/text_line_crop.hpp"

#include <gtest/gtest.h>

#include <functional>
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

namespace lumenary::platform::vision {
namespace {

// A bar set a space before a line's first word, that the network leaves
// out of the line, is taken into it; a frame's side, a sliver of smoothed
// edge, a bar between two lines and anything on a photo are not.
TEST(WithInkAtItsEnds, ReachesOnlyAThinGlyphSetASpaceBeyondTheLine) {
    struct Case {
        std::string name;
        std::function<void(cv::Mat&)> draw;  // beside the line's box (60..260, 40..70)
        std::vector<cv::RotatedRect> otherLines;
        bool reaches;
    };
    const cv::Rect line(60, 40, 200, 30);
    const std::vector<Case> cases{
        {"a bar a space before the line", [](cv::Mat& grey) { cv::rectangle(grey, cv::Rect(44, 42, 2, 26), 20, cv::FILLED); },
         {}, true},
        {"a frame around the line",
         [](cv::Mat& grey) { cv::rectangle(grey, cv::Rect(44, 34, 230, 42), 20, 2); }, {}, false},
        {"a faint sliver", [](cv::Mat& grey) { cv::line(grey, {45, 42}, {45, 67}, 150, 1); }, {}, false},
        {"a bar between two pieces of a line",
         [](cv::Mat& grey) { cv::rectangle(grey, cv::Rect(270, 42, 2, 26), 20, cv::FILLED); },
         {cv::RotatedRect({330, 55}, {80, 30}, 0)}, false},
        {"a bar on a photo's texture",
         [](cv::Mat& grey) {
             for (int column = 0; column < grey.cols; column += 4) {
                 grey.col(column).setTo(120);
             }
             grey(cv::Rect(50, 30, 220, 50)).setTo(255);
             cv::rectangle(grey, cv::Rect(44, 42, 2, 26), 20, cv::FILLED);
         },
         {}, false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        cv::Mat grey(110, 400, CV_8UC1, cv::Scalar(255));
        testCase.draw(grey);
        // The line's own glyphs: a row of blocks.
        for (int x = line.x + 4; x + 12 < line.br().x; x += 18) {
            cv::rectangle(grey, cv::Rect(x, line.y + 6, 12, 18), 20, cv::FILLED);
        }
        const cv::RotatedRect box({160, 55}, {200, 30}, 0);
        const cv::Rect reached = withInkAtItsEnds(grey, box, testCase.otherLines).boundingRect();
        EXPECT_EQ(reached.x <= 45, testCase.reaches) << reached;
        EXPECT_NEAR(reached.height, 30, 2);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
