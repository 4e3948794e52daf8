#include "platform/vision/worker/text_line_decoding.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

struct Region {
    cv::RotatedRect core;
    float probability;
};

cv::Mat probabilityMap(cv::Size size, const std::vector<Region>& regions) {
    cv::Mat map = cv::Mat::zeros(size, CV_32F);
    for (const Region& region : regions) {
        cv::Point2f corners[4];
        region.core.points(corners);
        std::vector<cv::Point> polygon(corners, corners + 4);
        cv::fillConvexPoly(map, polygon, cv::Scalar(region.probability));
    }
    return map;
}

TEST(TextLinesInProbabilityMap, FindsEachConfidentRegionGrownBackToItsLine) {
    struct Expected {
        cv::Point2f centre;
        float longSide;
        float shortSide;
    };
    struct Case {
        std::string name;
        std::vector<Region> regions;
        std::size_t mostLines;
        std::vector<Expected> expected;
    };
    // A core of 100 x 10 grows by 100 * 10 * 1.5 / 220 = 6.8 on each side;
    // a turned one is drawn a pixel or two larger.
    const std::vector<Case> cases{
        {"one level line", {{cv::RotatedRect({100, 50}, {100, 10}, 0), 0.9F}}, 10, {{{100, 50}, 113.6F, 23.6F}}},
        {"a line turned by 20 degrees", {{cv::RotatedRect({120, 80}, {100, 10}, 20), 0.9F}}, 10,
         {{{120, 80}, 113.6F, 23.6F}}},
        {"a faint region is not text", {{cv::RotatedRect({100, 50}, {100, 10}, 0), 0.5F}}, 10, {}},
        {"a region two cells thin is noise", {{cv::RotatedRect({100, 50}, {100, 2}, 0), 1.0F}}, 10, {}},
        {"two lines", {{cv::RotatedRect({100, 40}, {100, 10}, 0), 0.9F}, {cv::RotatedRect({100, 100}, {60, 12}, 0), 0.8F}},
         10, {{{100, 40}, 113.6F, 23.6F}, {{100, 100}, 75.0F, 27.0F}}},
        {"only the largest when there are too many",
         {{cv::RotatedRect({100, 40}, {40, 10}, 0), 0.9F}, {cv::RotatedRect({100, 100}, {100, 10}, 0), 0.9F}}, 1,
         {{{100, 100}, 113.6F, 23.6F}}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto lines =
            textLinesInProbabilityMap(probabilityMap({240, 160}, testCase.regions), 0.6F, testCase.mostLines);
        ASSERT_EQ(lines.size(), testCase.expected.size());
        for (const Expected& expected : testCase.expected) {
            const auto found = std::find_if(lines.begin(), lines.end(), [&](const DetectedTextLine& line) {
                return cv::norm(line.box.center - expected.centre) < 2;
            });
            ASSERT_NE(found, lines.end());
            const float longSide = std::max(found->box.size.width, found->box.size.height);
            const float shortSide = std::min(found->box.size.width, found->box.size.height);
            EXPECT_NEAR(longSide, expected.longSide, 4.5F);
            EXPECT_NEAR(shortSide, expected.shortSide, 4.5F);
            EXPECT_GT(found->confidence, 0.6F);
            EXPECT_LE(found->confidence, 1.0F);
        }
    }
}

TEST(TextLinesInProbabilityMap, GivesNoLinesForAMapOfAnotherShapeOrType) {
    const std::vector<std::pair<std::string, cv::Mat>> cases{
        {"empty", cv::Mat()},
        {"bytes", cv::Mat(20, 20, CV_8U, cv::Scalar(255))},
        {"three dimensions", cv::Mat(std::vector<int>{2, 20, 20}, CV_32F, cv::Scalar(1))},
        {"all zero", cv::Mat::zeros(40, 40, CV_32F)},
    };
    for (const auto& [name, map] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(textLinesInProbabilityMap(map, 0.6F, 10).empty());
    }
}

TEST(InReadingOrder, ReadsRowsTopToBottomAndEachRowLeftToRight) {
    const auto line = [](float x, float y, float width, float height, float degrees = 0) {
        return DetectedTextLine{cv::RotatedRect({x, y}, {width, height}, degrees), 1};
    };
    struct Case {
        std::string name;
        std::vector<DetectedTextLine> lines;
        std::vector<float> expectedCentresX;
        std::vector<float> expectedCentresY;
    };
    const std::vector<Case> cases{
        {"two rows given bottom first, right first",
         {line(300, 105, 100, 20), line(100, 100, 100, 20), line(300, 40, 100, 20), line(100, 45, 100, 20)},
         {100, 300, 100, 300},
         {45, 40, 100, 105}},
        {"a lower word of the same row still follows on", {line(260, 58, 80, 30), line(100, 50, 100, 30)}, {100, 260},
         {50, 58}},
        {"a slightly turned line", {line(200, 200, 300, 24, 3), line(200, 120, 300, 24, 3)}, {200, 200}, {120, 200}},
        {"nothing", {}, {}, {}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto ordered = inReadingOrder(testCase.lines);
        ASSERT_EQ(ordered.size(), testCase.expectedCentresX.size());
        for (std::size_t index = 0; index < ordered.size(); ++index) {
            EXPECT_FLOAT_EQ(ordered[index].box.center.x, testCase.expectedCentresX[index]);
            EXPECT_FLOAT_EQ(ordered[index].box.center.y, testCase.expectedCentresY[index]);
        }
    }
}

TEST(WithPiecesJoined, JoinsPiecesOfOneLineAndNothingElse) {
    const auto line = [](float x, float y, float width, float height, float degrees = 0, float confidence = 0.9F) {
        return DetectedTextLine{cv::RotatedRect({x, y}, {width, height}, degrees), confidence};
    };
    struct Case {
        std::string name;
        std::vector<DetectedTextLine> ordered;
        std::vector<cv::Rect> expected;  // each joined line's bounds, rounded
    };
    const std::vector<Case> cases{
        {"two words a space apart", {line(100, 50, 100, 20), line(215, 50, 100, 20, 0, 0.7F)}, {{50, 40, 215, 20}}},
        {"three pieces", {line(100, 50, 100, 20), line(215, 50, 100, 20), line(330, 50, 100, 20)},
         {{50, 40, 330, 20}}},
        {"a gap wider than the line is high", {line(100, 50, 100, 20), line(240, 50, 100, 20)},
         {{50, 40, 100, 20}, {190, 40, 100, 20}}},
        {"a line below", {line(100, 50, 100, 20), line(100, 80, 100, 20)}, {{50, 40, 100, 20}, {50, 70, 100, 20}}},
        {"a much higher neighbour", {line(100, 50, 100, 20), line(215, 50, 100, 40)},
         {{50, 40, 100, 20}, {165, 30, 100, 40}}},
        {"standing lines", {line(100, 50, 20, 100), line(125, 50, 20, 100)}, {{90, 0, 20, 100}, {115, 0, 20, 100}}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto joined = withPiecesJoined(testCase.ordered);
        ASSERT_EQ(joined.size(), testCase.expected.size());
        for (std::size_t index = 0; index < joined.size(); ++index) {
            const cv::Rect2f bounds = joined[index].box.boundingRect2f();
            EXPECT_NEAR(bounds.x, testCase.expected[index].x, 1);
            EXPECT_NEAR(bounds.y, testCase.expected[index].y, 1);
            EXPECT_NEAR(bounds.width, testCase.expected[index].width, 1);
            EXPECT_NEAR(bounds.height, testCase.expected[index].height, 1);
        }
    }
    EXPECT_FLOAT_EQ(withPiecesJoined(cases[0].ordered).front().confidence, 0.7F);
}

}  // namespace
}  // namespace lumenary::platform::vision
