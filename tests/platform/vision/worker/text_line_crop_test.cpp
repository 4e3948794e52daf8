#include "platform/vision/worker/text_line_crop.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
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

// A line's box, the grey image it was found in and the image's other lines.
struct Scene {
    cv::Mat grey;
    cv::RotatedRect box;
    std::vector<cv::RotatedRect> otherLines;
};

// A row of blocks for the line's glyphs (its box 60..260, 40..70) on white,
// with `draw` beside it.
Scene besideBlocks(const std::function<void(cv::Mat&)>& draw, std::vector<cv::RotatedRect> otherLines = {}) {
    cv::Mat grey(110, 400, CV_8UC1, cv::Scalar(255));
    draw(grey);
    for (int x = 64; x + 12 < 260; x += 18) {
        cv::rectangle(grey, cv::Rect(x, 46, 12, 18), 20, cv::FILLED);
    }
    return {grey, cv::RotatedRect({160, 55}, {200, 30}, 0), std::move(otherLines)};
}

// Draws a block of dark ink at `where`.
std::function<void(cv::Mat&)> block(cv::Rect where) {
    return [where](cv::Mat& grey) { cv::rectangle(grey, where, 20, cv::FILLED); };
}

// `text` drawn at 20 px, cut to the columns of its ink: dark on white, its
// baseline where every such cut has it.
cv::Mat inkColumns(const std::string& text) {
    const cv::Mat grey = greyOf(vision_test::renderedText({text}, vision_test::dejaVuSans(), 20));
    const cv::Rect ink = inkBounds(grey);
    return grey.colRange(ink.x, ink.br().x).clone();
}

// The words drawn a space apart, in white on `selected` (an RGB colour; a
// table's selected row) or else dark on white, and the box the detector
// finds around the word at `lineWord` alone, a few pixels of room around
// its ink.
Scene wordsInARow(const std::vector<std::string>& words, std::size_t lineWord,
                  const std::optional<cv::Scalar>& selected = std::nullopt) {
    constexpr int space = 7;
    constexpr int margin = 30;
    std::vector<cv::Mat> columns;
    cv::Rect line;
    int x = margin;
    for (std::size_t index = 0; index < words.size(); ++index) {
        const cv::Mat word = inkColumns(words[index]);
        if (columns.empty()) {
            columns.emplace_back(word.rows, margin, CV_8UC1, cv::Scalar(255));
        }
        if (index == lineWord) {
            const cv::Rect ink = inkBounds(word);
            line = cv::Rect(x - 2, ink.y - 3, word.cols + 4, ink.height + 6);
        }
        columns.push_back(word);
        const int after = index + 1 < words.size() ? space : margin;
        columns.emplace_back(word.rows, after, CV_8UC1, cv::Scalar(255));
        x += word.cols + after;
    }
    cv::Mat darkOnWhite;
    cv::hconcat(columns, darkOnWhite);
    // Crisp, as a screen draws small text: the digit's strokes are then as
    // solid as a bar's. The image is turned grey as the worker turns it.
    cv::Mat rgb(darkOnWhite.size(), CV_8UC3, selected.value_or(cv::Scalar(255, 255, 255)));
    rgb.setTo(selected ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0), darkOnWhite < 128);
    return {greyOf(rgb),
            cv::RotatedRect(cv::Point2f(line.tl()), cv::Point2f(line.br().x, line.y), cv::Point2f(line.br())),
            {}};
}

// A bar set a space beyond a line's end, that the network leaves out of
// the line, is taken into it; any other glyph there, a frame's side, a
// sliver of smoothed edge, a bar between two lines and anything on a photo
// are not.
TEST(WithInkAtItsEnds, ReachesOnlyABarSetASpaceBeyondTheLine) {
    struct Case {
        std::string name;
        std::function<Scene()> scene;
        bool reachesBefore;
        bool reachesAfter;
    };
    const cv::Scalar blue(50, 100, 200);
    const std::vector<Case> cases{
        {"a bar a space before the line", [] { return besideBlocks(block(cv::Rect(44, 42, 2, 26))); }, true, false},
        {"a frame around the line",
         [] { return besideBlocks([](cv::Mat& grey) { cv::rectangle(grey, cv::Rect(44, 34, 230, 42), 20, 2); }); },
         false, false},
        {"a faint sliver",
         [] { return besideBlocks([](cv::Mat& grey) { cv::line(grey, {45, 42}, {45, 67}, 150, 1); }); }, false,
         false},
        {"a bar between two pieces of a line",
         [] { return besideBlocks(block(cv::Rect(270, 42, 2, 26)), {cv::RotatedRect({330, 55}, {80, 30}, 0)}); },
         false, false},
        {"a bar on a photo's texture",
         [] {
             return besideBlocks([](cv::Mat& grey) {
                 for (int column = 0; column < grey.cols; column += 4) {
                     grey.col(column).setTo(120);
                 }
                 grey(cv::Rect(50, 30, 220, 50)).setTo(255);
                 cv::rectangle(grey, cv::Rect(44, 42, 2, 26), 20, cv::FILLED);
             });
         },
         false, false},
        {"a wide bar, a block", [] { return besideBlocks(block(cv::Rect(38, 42, 8, 26))); }, false, false},
        {"a bracket",
         [] {
             return besideBlocks([](cv::Mat& grey) {
                 cv::rectangle(grey, cv::Rect(40, 42, 2, 26), 20, cv::FILLED);
                 cv::rectangle(grey, cv::Rect(40, 42, 6, 2), 20, cv::FILLED);
                 cv::rectangle(grey, cv::Rect(40, 66, 6, 2), 20, cv::FILLED);
             });
         },
         false, false},
        {"a short bar", [] { return besideBlocks(block(cv::Rect(44, 48, 2, 16))); }, false, false},
        // The digit beyond a selected row's word is the next cell's.
        {"a bar and a digit beside a selected row's word",
         [&blue] { return wordsInARow({"|", "split", "3"}, 1, blue); }, true, false},
        {"a digit one after a word", [] { return wordsInARow({"split", "1"}, 0); }, false, false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const Scene scene = testCase.scene();
        const cv::Rect line = scene.box.boundingRect();
        const cv::Rect reached = withInkAtItsEnds(scene.grey, scene.box, scene.otherLines).boundingRect();
        EXPECT_EQ(reached.x < line.x - 2, testCase.reachesBefore) << line << " reached " << reached;
        EXPECT_EQ(reached.br().x > line.br().x + 2, testCase.reachesAfter) << line << " reached " << reached;
        EXPECT_NEAR(reached.height, line.height, 2);
    }
}

// A box just past the image's edge, with room around it in the image, is
// left as it is, and one across the edge is looked at without a fault.
TEST(WithInkAtItsEnds, LeavesABoxOutsideTheImageAsItIs) {
    struct Case {
        std::string name;
        cv::RotatedRect box;
        bool outside;
    };
    const std::vector<Case> cases{
        {"above", cv::RotatedRect({50, -6}, {60, 10}, 0), true},
        {"below", cv::RotatedRect({50, 106}, {60, 10}, 0), true},
        {"left", cv::RotatedRect({-31, 50}, {60, 10}, 0), true},
        {"right", cv::RotatedRect({131, 50}, {60, 10}, 0), true},
        {"far away", cv::RotatedRect({-500, 900}, {60, 10}, 0), true},
        {"across the top", cv::RotatedRect({50, 0}, {60, 10}, 0), false},
        {"across the bottom", cv::RotatedRect({50, 100}, {60, 10}, 0), false},
        {"across the left", cv::RotatedRect({0, 50}, {60, 10}, 0), false},
        {"across the right", cv::RotatedRect({100, 50}, {60, 10}, 0), false},
    };
    const cv::Mat grey(100, 100, CV_8UC1, cv::Scalar(255));
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const cv::RotatedRect reached = withInkAtItsEnds(grey, testCase.box, {});
        if (testCase.outside) {
            EXPECT_EQ(reached.center, testCase.box.center);
            EXPECT_EQ(reached.size, testCase.box.size);
            EXPECT_EQ(reached.angle, testCase.box.angle);
        }
        EXPECT_TRUE((reached.boundingRect() & testCase.box.boundingRect()).area() > 0);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
