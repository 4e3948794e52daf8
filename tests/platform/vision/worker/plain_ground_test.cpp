#include "platform/vision/worker/plain_ground.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/test_images.hpp"

namespace lumenary::platform::vision {
namespace {

// Capitals cut to their ink cover most of the image's top and bottom rows
// and its sides: their ground is found all the same, and a photo has none.
TEST(PlainGround, IsTheGroundOfPagesScreensAndTextCutToItsInkAndNoneOfAPhoto) {
    const auto faces = vision_test::installedLatinFaces();
    const vision_test::FontFace bold = faces.at(1).second;
    cv::Mat lightOnDark;
    cv::bitwise_not(vision_test::textCutToInk("NO WARRANTY", faces.at(0).second, 16), lightOnDark);
    cv::Mat screen(200, 300, CV_8UC3, cv::Scalar(236, 236, 236));
    cv::rectangle(screen, cv::Rect(60, 80, 150, 30), cv::Scalar(255, 255, 255), cv::FILLED);
    // Its top rows highlighted, a shade too far from the rest for the edge
    // to be one colour, too near for ground and ink.
    cv::Mat highlightedRows(200, 300, CV_8UC3, cv::Scalar(240, 200, 200));
    highlightedRows(cv::Rect(0, 0, 300, 60)).setTo(cv::Scalar(245, 160, 160));
    cv::putText(highlightedRows, "Alimentation : Epicerie", {40, 120}, cv::FONT_HERSHEY_SIMPLEX, 0.5,
                cv::Scalar(0, 0, 0), 1, cv::LINE_AA);
    // Blocks of colour scaled up without smoothing (pixel art, a zoomed
    // picture): flat, but no colour covers much of its edge.
    cv::Mat blocks(20, 30, CV_8UC3);
    cv::RNG random(5);
    random.fill(blocks, cv::RNG::UNIFORM, 0, 256);
    cv::Mat flatPicture;
    cv::resize(blocks, flatPicture, {600, 400}, 0, 0, cv::INTER_NEAREST);
    struct Case {
        std::string name;
        cv::Mat image;
        std::optional<cv::Scalar> ground;
    };
    const std::vector<Case> cases{
        {"a screen", screen, cv::Scalar(236, 236, 236)},
        {"a screen whose edge crosses highlighted rows", highlightedRows, cv::Scalar(240, 200, 200)},
        {"capitals cut to their ink", vision_test::textCutToInk("END OF TERMS AND CONDITIONS", faces.at(0).second, 40),
         cv::Scalar::all(255)},
        {"small bold capitals, as much ink as ground", vision_test::textCutToInk("DEFINITIONS", bold, 16),
         cv::Scalar::all(255)},
        {"light capitals on dark, cut to their ink", lightOnDark, cv::Scalar::all(0)},
        {"a flat picture of many colours, none of them its edge's ground", flatPicture, std::nullopt},
        {"a photo", vision_test::photoLikeImage({400, 300}, 3), std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto ground = plainGroundColour(testCase.image);
        ASSERT_EQ(ground.has_value(), testCase.ground.has_value());
        for (int channel = 0; ground && channel < 3; ++channel) {
            EXPECT_NEAR((*ground)[channel], (*testCase.ground)[channel], 8);
        }
    }
}

// A dialog on an empty desktop is read in its own part of the screen, with
// ground around it; a screen full of text, or with none, is read whole.
TEST(PlainGround, SmallContentIsTheDialogOnAnEmptyScreenWithGroundAroundIt) {
    const cv::Scalar ground(236, 236, 236);
    cv::Mat dialogOnScreen(1080, 1920, CV_8UC3, ground);
    cv::rectangle(dialogOnScreen, cv::Rect(740, 380, 420, 200), cv::Scalar(150, 150, 150), 1);
    cv::putText(dialogOnScreen, "Width:", {760, 420}, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 0, 0), 1);
    cv::Mat fullScreen = dialogOnScreen.clone();
    cv::putText(fullScreen, "File", {4, 14}, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 0, 0), 1);
    cv::putText(fullScreen, "12:45", {1870, 1070}, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 0, 0), 1);
    struct Case {
        std::string name;
        cv::Mat image;
        std::optional<cv::Rect> part;
    };
    const std::vector<Case> cases{
        {"a dialog on an empty screen", dialogOnScreen, cv::Rect(724, 364, 452, 232)},
        {"text from corner to corner", fullScreen, std::nullopt},
        {"an empty screen", cv::Mat(1080, 1920, CV_8UC3, ground), std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(smallPlainContent(testCase.image, ground), testCase.part);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
