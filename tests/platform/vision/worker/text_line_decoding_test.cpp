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
        {"two words whose margins overlap", {line(100, 50, 100, 20), line(185, 50, 100, 20)}, {{50, 40, 185, 20}}},
        {"three pieces", {line(100, 50, 100, 20), line(215, 50, 100, 20), line(330, 50, 100, 20)},
         {{50, 40, 330, 20}}},
        {"a gap wider than the line is high", {line(100, 50, 100, 20), line(240, 50, 100, 20)},
         {{50, 40, 100, 20}, {190, 40, 100, 20}}},
        {"a line below", {line(100, 50, 100, 20), line(100, 80, 100, 20)}, {{50, 40, 100, 20}, {50, 70, 100, 20}}},
        {"a much higher neighbour", {line(100, 50, 100, 20), line(215, 50, 100, 40)},
         {{50, 40, 100, 20}, {165, 30, 100, 40}}},
        {"standing lines", {line(100, 50, 20, 100), line(125, 50, 20, 100)}, {{90, 0, 20, 100}, {115, 0, 20, 100}}},
        {"two turned lines one above the other", {line(100, 50, 160, 20, 8), line(110, 75, 160, 20, 8)},
         {{19, 29, 161, 42}, {29, 54, 161, 42}}},
        // A last digit found on its own beside a frame, its box standing.
        {"a glyph at the line's end, lower than the line", {line(100, 50, 180, 36), line(195, 52, 20, 16, 90)},
         {{10, 32, 193, 36}}},
        {"a glyph lower than the line, off its axis", {line(100, 50, 180, 36), line(195, 75, 20, 16, 90)},
         {{10, 32, 180, 36}, {187, 65, 16, 20}}},
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

TEST(WithoutLinesInsideOthers, DropsOnlyABoxMostlyInsideALargerOne) {
    const auto line = [](float x, float y, float width, float height, float degrees = 0) {
        return DetectedTextLine{cv::RotatedRect({x, y}, {width, height}, degrees), 0.9F};
    };
    struct Case {
        std::string name;
        std::vector<DetectedTextLine> lines;
        std::vector<float> keptCentresX;
    };
    const std::vector<Case> cases{
        {"a glyph's box inside its line's", {line(100, 50, 180, 36), line(170, 50, 20, 16, 90)}, {100}},
        {"a box overlapping the line's end by half", {line(100, 50, 180, 36), line(195, 50, 20, 16)}, {100, 195}},
        {"two lines side by side", {line(100, 50, 100, 20), line(215, 50, 100, 20)}, {100, 215}},
        {"two boxes of one size on each other", {line(100, 50, 100, 20), line(100, 50, 100, 20)}, {100, 100}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto kept = withoutLinesInsideOthers(testCase.lines);
        ASSERT_EQ(kept.size(), testCase.keptCentresX.size());
        for (std::size_t index = 0; index < kept.size(); ++index) {
            EXPECT_FLOAT_EQ(kept[index].box.center.x, testCase.keptCentresX[index]);
        }
    }
}

TEST(CtcText, ReadsEachRunOfAClassOnceAndLeavesOutNoCharacter) {
    const std::vector<std::string> characters{"窗", "a", " "};
    // One row per step: the probabilities of no character, 窗, a, space.
    const auto steps = [](const std::vector<int>& best, float probability = 0.9F) {
        cv::Mat rows(static_cast<int>(best.size()), 4, CV_32F, cv::Scalar((1 - probability) / 3));
        for (std::size_t step = 0; step < best.size(); ++step) {
            rows.at<float>(static_cast<int>(step), best[step]) = probability;
        }
        return rows;
    };
    struct Case {
        std::string name;
        cv::Mat probabilities;
        std::string text;
        float confidence;
    };
    const std::vector<Case> cases{
        {"runs read once", steps({1, 1, 0, 2, 2, 2, 3, 2}), "窗a a", 0.9F},
        {"a class twice with no character between", steps({2, 0, 2}), "aa", 0.9F},
        {"nothing but no character", steps({0, 0, 0}), "", 0.0F},
        {"a class past the list", [] {
             cv::Mat rows(1, 6, CV_32F, cv::Scalar(0));
             rows.at<float>(0, 5) = 1;
             return rows;
         }(),
         "", 0.0F},
        {"another type", cv::Mat(3, 4, CV_8U, cv::Scalar(1)), "", 0.0F},
        {"empty", cv::Mat(), "", 0.0F},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const NetworkLineText read = ctcText(testCase.probabilities, characters);
        EXPECT_EQ(read.text, testCase.text);
        EXPECT_NEAR(read.confidence, testCase.confidence, 1e-5);
    }
    // The space's highest probability since the character before: 0.9 at
    // the space's own step, 0.1 / 3 elsewhere.
    const NetworkLineText spaced = ctcText(steps({1, 0, 3, 2, 0, 2}), characters);
    EXPECT_EQ(spaced.text, "窗 aa");
    ASSERT_EQ(spaced.spaceBefore.size(), 4U);
    EXPECT_NEAR(spaced.spaceBefore[1], 0.9F, 1e-5);
    EXPECT_NEAR(spaced.spaceBefore[3], 0.1F / 3, 1e-5);
    // The others seen at a character's step: most probable first, never
    // no character, none below leastAlternativeProbability.
    const cv::Mat unsure = (cv::Mat_<float>(1, 4) << 0.3F, 0.1F, 0.0005F, 0.5995F);
    const NetworkLineText read = ctcText(unsure, {"a", "窗", "b"});
    ASSERT_EQ(read.characters, std::vector<std::string>{"b"});
    EXPECT_FLOAT_EQ(read.probabilities.front(), 0.5995F);
    ASSERT_EQ(read.alternatives.size(), 1U);
    ASSERT_EQ(read.alternatives.front().size(), 1U);
    EXPECT_EQ(read.alternatives.front().front().character, "a");
    EXPECT_FLOAT_EQ(read.alternatives.front().front().probability, 0.1F);
}

// A line of ink as the network reads it: each glyph a block of ink
// `width` columns wide from its column on, 48 rows high.
cv::Mat inkOf(int columns, const std::vector<std::pair<int, int>>& glyphs) {
    cv::Mat ink = cv::Mat::zeros(48, columns, CV_8U);
    for (const auto& [from, width] : glyphs) {
        ink(cv::Rect(from, 12, width, 24)).setTo(255);
    }
    return ink;
}

NetworkLineText readAt(const std::vector<std::string>& characters, const std::vector<int>& steps,
                       const std::vector<float>& spaceBefore = {}) {
    NetworkLineText read;
    for (const std::string& character : characters) {
        read.text += character;
    }
    read.characters = characters;
    read.steps = steps;
    read.spaceBefore = spaceBefore.empty() ? std::vector<float>(steps.size(), 0.3F) : spaceBefore;
    return read;
}

TEST(WithSpacesAtGaps, PutsASpaceWhereTheInkLeavesAWordGapAndNowhereElse) {
    struct Case {
        std::string name;
        cv::Mat ink;
        NetworkLineText read;
        std::string text;
    };
    // Glyphs 28 columns wide, read at steps of 8 columns at their middles;
    // the network saw a space before each unless the case says otherwise.
    const std::vector<Case> cases{
        {"glyphs 4 columns apart", inkOf(200, {{0, 28}, {32, 28}, {64, 28}}), readAt({"第", "2", "章"}, {1, 5, 9}),
         "第2章"},
        {"a gap of 12 columns", inkOf(200, {{0, 28}, {40, 28}}), readAt({"章", "数"}, {1, 6}), "章 数"},
        {"a gap of 12 columns where the network saw no space", inkOf(200, {{0, 28}, {40, 28}}),
         readAt({"门", "口"}, {1, 6}, {0.0F, 0.0005F}), "门口"},
        {"no space beside a full-width mark", inkOf(200, {{0, 28}, {40, 10}, {80, 28}}),
         readAt({"元", "，", "含"}, {1, 5, 11}), "元，含"},
        {"a space the network read stays alone", inkOf(200, {{0, 28}, {40, 28}}), readAt({"a", " ", "b"}, {1, 4, 6}),
         "a b"},
        {"ink of another type leaves the text", cv::Mat(48, 200, CV_32F, cv::Scalar(0)), readAt({"章", "数"}, {1, 6}),
         "章数"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(withSpacesAtGaps(testCase.read, testCase.ink, 8, 6), testCase.text);
    }
}

TEST(WithCommasForFilledStops, ReadsAFullStopWithoutARingBetweenTwoGlyphsAsAComma) {
    // Square glyphs 28 columns wide at columns 0 and 64, and a mark between
    // them near the foot of the line, read at step 5 (column 44).
    const auto lineWith = [](const std::string& mark) {
        cv::Mat ink = inkOf(200, {{0, 28}, {64, 28}});
        if (mark == "ring") {
            cv::circle(ink, {44, 30}, 5, cv::Scalar(255), 2);
        } else if (mark == "comma") {
            cv::circle(ink, {44, 30}, 4, cv::Scalar(255), cv::FILLED);
            cv::line(ink, {46, 32}, {41, 38}, cv::Scalar(255), 2);
        }
        return ink;
    };
    struct Case {
        std::string name;
        cv::Mat ink;
        NetworkLineText read;
        std::string text;
    };
    const std::vector<Case> cases{
        {"a filled head with a tail", lineWith("comma"), readAt({"茶", "。", "不"}, {1, 5, 9}), "茶，不"},
        {"a ring", lineWith("ring"), readAt({"茶", "。", "不"}, {1, 5, 9}), "茶。不"},
        {"no mark's ink near the step", lineWith("none"), readAt({"茶", "。", "不"}, {1, 5, 9}), "茶。不"},
        {"at the end of the line", lineWith("comma"), readAt({"茶", "。"}, {1, 5}), "茶。"},
        {"before a Latin letter", lineWith("comma"), readAt({"茶", "。", "P"}, {1, 5, 9}), "茶。P"},
        {"ink of another type", cv::Mat(48, 200, CV_32F, cv::Scalar(0)), readAt({"茶", "。", "不"}, {1, 5, 9}),
         "茶。不"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::string text;
        for (const std::string& character : withCommasForFilledStops(testCase.read, testCase.ink, 8, 32)) {
            text += character;
        }
        EXPECT_EQ(text, testCase.text);
    }
}

TEST(HoldsUnreadInk, FindsAGlyphTheNetworkReadNoCharacterFor) {
    struct Case {
        std::string name;
        cv::Mat ink;
        NetworkLineText read;
        bool unread;
    };
    const std::vector<Case> cases{
        {"every glyph read", inkOf(200, {{0, 28}, {32, 28}, {64, 28}}), readAt({"鼠", "在", "地"}, {1, 5, 9}), false},
        {"the first glyph unread", inkOf(200, {{0, 28}, {32, 28}, {64, 28}}), readAt({"鼠", "在"}, {5, 9}), true},
        {"the last glyph unread", inkOf(200, {{0, 28}, {32, 28}, {64, 28}}), readAt({"鼠", "在"}, {1, 5}), true},
        {"a glyph between unread", inkOf(200, {{0, 28}, {32, 28}, {64, 28}}), readAt({"踢", "子"}, {1, 9}), true},
        {"a word gap between two read glyphs", inkOf(200, {{0, 28}, {60, 28}}), readAt({"章", "数"}, {1, 9}), false},
        {"ink read as nothing", inkOf(200, {{0, 28}}), readAt({}, {}), true},
        {"nothing read of no ink", inkOf(200, {}), readAt({}, {}), false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(holdsUnreadInk(testCase.read, testCase.ink, 8, 32), testCase.unread);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
