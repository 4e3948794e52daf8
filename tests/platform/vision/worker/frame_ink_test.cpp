#include "platform/vision/worker/frame_ink.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/test_images.hpp"

namespace lumenary::platform::vision {
namespace {

constexpr int ground = 236;
constexpr int cutHeight = 80;  // a 40 px line with half a line of room above and below

// `text` drawn dark at `pixelSize` into the middle rows of `cut`, its left
// edge at `left`; its ink's box.
cv::Rect drawGlyphs(cv::Mat& cut, const std::string& text, int left,
                    const vision_test::FontFace& face = vision_test::dejaVuSans(), int pixelSize = 24) {
    cv::Mat rgb = vision_test::textCutToInk(text, face, pixelSize);
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    const cv::Rect at(left, (cut.rows - grey.rows) / 2, grey.cols, grey.rows);
    cv::Mat under = cut(at);
    cv::min(under, grey, under);
    return at;
}

void drawArrows(cv::Mat& cut, int left) {
    const int middle = cut.rows / 2;
    const std::vector<std::vector<cv::Point>> arrows{
        {{left, middle - 4}, {left + 14, middle - 4}, {left + 7, middle - 13}},
        {{left, middle + 4}, {left + 14, middle + 4}, {left + 7, middle + 13}}};
    cv::fillPoly(cut, arrows, cv::Scalar(60), cv::LINE_AA);
}

struct FrameCase {
    std::string name;
    // Draws the frame's ink (none for a cut that must stay as it is) and
    // the glyphs; gives the glyphs' boxes.
    std::function<std::vector<cv::Rect>(cv::Mat&)> draw;
    bool framePainted;  // else the cut stays as it is
    bool glyphsLeft;
};

TEST(FrameInk, PaintsOverFramesFieldsAndArrowsButNoGlyph) {
    const std::vector<FrameCase> cases{
        {"a sign's sides crossing the cut",
         [](cv::Mat& cut) {
             cv::line(cut, {4, 0}, {4, cut.rows}, cv::Scalar(20), 4);
             cv::line(cut, {cut.cols - 5, 0}, {cut.cols - 5, cut.rows}, cv::Scalar(20), 4);
             return std::vector{drawGlyphs(cut, "NOTICE", 20)};
         },
         true, true},
        {"a frame's top slanting along the whole cut",
         [](cv::Mat& cut) {
             cv::line(cut, {0, 6}, {cut.cols, 14}, cv::Scalar(30), 3);
             return std::vector{drawGlyphs(cut, "Staff Only", 10)};
         },
         true, true},
        {"a field's outline around a number",
         [](cv::Mat& cut) {
             cv::rectangle(cut, cv::Rect(6, 16, 150, 48), cv::Scalar(255), cv::FILLED);
             cv::rectangle(cut, cv::Rect(6, 16, 150, 48), cv::Scalar(140), 2);
             return std::vector{drawGlyphs(cut, "511", 20)};
         },
         true, true},
        {"a field open where the cut ends",
         [](cv::Mat& cut) {
             cv::rectangle(cut, cv::Rect(-20, 12, 120, 56), cv::Scalar(140), 2);
             return std::vector{drawGlyphs(cut, "12", 30)};
         },
         true, true},
        {"a spin box's arrows after a digit",
         [](cv::Mat& cut) {
             drawArrows(cut, 60);
             return std::vector{drawGlyphs(cut, "5", 30)};
         },
         true, true},
        {"arrows alone",
         [](cv::Mat& cut) {
             drawArrows(cut, 30);
             return std::vector<cv::Rect>{};
         },
         true, false},
        {"enclosing glyphs",
         [](cv::Mat& cut) { return std::vector{drawGlyphs(cut, "国回图", 10, vision_test::notoSansSimplifiedChinese())}; },
         false, true},
        {"an enclosing glyph taller than the line's rows",
         [](cv::Mat& cut) {
             return std::vector{drawGlyphs(cut, "回", 40, vision_test::notoSansSimplifiedChinese(), 54)};
         },
         false, true},
        {"an underlined link, a bar and a stop at its end",
         [](cv::Mat& cut) {
             const cv::Rect word = drawGlyphs(cut, "typography l.", 16);
             cv::line(cut, {16, word.br().y - 4}, {word.br().x - 20, word.br().y - 4}, cv::Scalar(20), 2);
             return std::vector{cv::Rect(16, word.y, word.width, word.height)};
         },
         false, true},
    };
    for (const FrameCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        cv::Mat cut(cutHeight, 240, CV_8UC1, cv::Scalar(ground));
        const std::vector<cv::Rect> glyphs = testCase.draw(cut);
        cv::Mat glyphMask = cv::Mat::zeros(cut.size(), CV_8U);
        for (const cv::Rect& glyph : glyphs) {
            glyphMask(glyph).setTo(255);
        }
        const cv::Mat before = cut.clone();
        EXPECT_EQ(paintOverFrameInk(cut, ground), testCase.glyphsLeft);
        if (!testCase.framePainted) {
            EXPECT_EQ(cv::countNonZero(before != cut), 0);
            continue;
        }
        // No ink is left outside the glyphs' boxes, and none within them
        // changes (a field's fill, lighter than the ground, may).
        EXPECT_EQ(cv::countNonZero((cut < ground - 56) & ~glyphMask), 0);
        EXPECT_EQ(cv::countNonZero((before != cut) & glyphMask & (before < ground)), 0);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
