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
        {"a spin box open where the cut ends, its arrows' buttons parted by rules",
         [](cv::Mat& cut) {
             const cv::Rect field(-20, 20, 200, 40);
             cv::rectangle(cut, field, cv::Scalar(250), cv::FILLED);
             cv::rectangle(cut, field, cv::Scalar(140), 1);
             cv::line(cut, {160, 20}, {160, 59}, cv::Scalar(140), 1);
             cv::line(cut, {160, 40}, {179, 40}, cv::Scalar(140), 1);
             drawArrows(cut, 163);
             return std::vector{drawGlyphs(cut, "7", 130)};
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
        {"brackets and bars between words",
         [](cv::Mat& cut) {
             return std::vector{drawGlyphs(cut, "a[i] = {1} | x", 10, vision_test::dejaVuSans(), 28)};
         },
         false, true},
        {"a serif f overhanging an i's dot",
         [](cv::Mat& cut) {
             const auto faces = vision_test::installedLatinFaces();
             return std::vector{drawGlyphs(cut, "file", 20, faces.at(2).second, 40)};
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

// A sign on a photo: the plate's own shade is the ground, and the frame,
// its rounded corners and the photo beyond are painted over with it; a
// page's line keeps the ground its edge shows.
TEST(FrameInk, PaintsBeyondASignsPlateOnAPhoto) {
    struct PlateCase {
        std::string name;
        int plate;  // the plate's shade; none is drawn when it is the ground
        int corner;  // the frame's corner radius
        int frameGap;  // between the glyphs and the frame, above and below
        int edgeGround = 135;  // the median shade of the cut's edge
        bool onPhoto = false;
        bool plateTaken = true;
    };
    const std::vector<PlateCase> cases{
        {"a dark plate, a square frame", 60, 0, 8},
        {"a light plate, a rounded frame", 250, 10, 8},
        {"a frame drawn close around the glyphs", 250, 0, 3},
        {"a page", ground, 0, 8, ground, false, false},
        // The edge's median, of frame, texture and the band beside, can
        // match the plate's shade by chance.
        {"a plate of the edge's shade on a photo", 140, 10, 8, 140, true},
        {"a field of the edge's shade on a screen", 140, 10, 8, 140, false, false},
        {"a frame drawn close on a photo", 250, 0, 1, 135, true},
    };
    for (const PlateCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        // A photo's texture all around: stripes far from either shade. The
        // cut holds the line with the room at its ends.
        cv::Mat cut(cutHeight, 180, CV_8UC1);
        for (int column = 0; column < cut.cols; ++column) {
            cut.col(column).setTo(testCase.plate == ground ? ground : 120 + (column / 3 % 2) * 30);
        }
        cv::Mat glyphs(cut.size(), CV_8UC1, cv::Scalar(testCase.plate));
        const bool lightInk = testCase.plate < 128;
        cv::Mat ink = cv::Mat(cut.size(), CV_8UC1, cv::Scalar(255));
        const cv::Rect word = drawGlyphs(ink, "STAFF", 40, vision_test::dejaVuSans(), 30);
        const cv::Rect frame(word.x - 10, word.y - testCase.frameGap - 3, word.width + 20,
                             word.height + 2 * testCase.frameGap + 6);
        const cv::Rect plate(frame.x - 6, frame.y - 6, frame.width + 12, frame.height + 12);
        if (testCase.plate != ground) {
            cut(plate).setTo(testCase.plate);
            const cv::Scalar frameShade(lightInk ? 240 : 20);
            if (testCase.corner == 0) {
                cv::rectangle(cut, frame, frameShade, 3);
            } else {
                const int r = testCase.corner;
                cv::rectangle(cut, {frame.x + r, frame.y}, {frame.br().x - r, frame.y + 2}, frameShade, cv::FILLED);
                cv::rectangle(cut, {frame.x + r, frame.br().y - 3}, {frame.br().x - r, frame.br().y - 1}, frameShade,
                              cv::FILLED);
                cv::rectangle(cut, {frame.x, frame.y + r}, {frame.x + 2, frame.br().y - r}, frameShade, cv::FILLED);
                cv::rectangle(cut, {frame.br().x - 3, frame.y + r}, {frame.br().x - 1, frame.br().y - r}, frameShade,
                              cv::FILLED);
                for (const auto& [centre, angle] : std::vector<std::pair<cv::Point, double>>{
                         {{frame.x + r, frame.y + r}, 180},
                         {{frame.br().x - 1 - r, frame.y + r}, 270},
                         {{frame.br().x - 1 - r, frame.br().y - 1 - r}, 0},
                         {{frame.x + r, frame.br().y - 1 - r}, 90}}) {
                    cv::ellipse(cut, centre, {r - 1, r - 1}, angle, 0, 90, frameShade, 3, cv::LINE_AA);
                }
            }
        }
        // The glyphs in the ink's shade over whatever is under them.
        const cv::Mat inkMask = ink < 128;
        cut.setTo(lightInk ? 245 : 25, inkMask);
        const cv::Mat before = cut.clone();
        const int chosen = paintBeyondPlate(cut, testCase.edgeGround, testCase.onPhoto);
        if (!testCase.plateTaken) {
            EXPECT_EQ(chosen, testCase.edgeGround);
            EXPECT_EQ(cv::countNonZero(before != cut), 0);
            continue;
        }
        EXPECT_NEAR(chosen, testCase.plate, 2);
        // Only the plate's shade and the glyphs are left, and every glyph
        // pixel is as it was; on a photo not even the blend of the frame's
        // rounded corners into the plate is left.
        cv::Mat difference;
        cv::absdiff(cut, cv::Scalar(testCase.plate), difference);
        cv::Mat besideGlyphs;
        cv::dilate(inkMask, besideGlyphs, cv::Mat(), cv::Point(-1, -1), 1);
        EXPECT_EQ(cv::countNonZero((difference > (testCase.onPhoto ? 24 : 56)) & ~besideGlyphs), 0);
        EXPECT_EQ(cv::countNonZero((before != cut) & inkMask), 0);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
