#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/pose_joints.hpp"
#include "platform/vision/worker/hand_pose/hand_crop.hpp"
#include "platform/vision/worker/hand_pose/hand_landmarks.hpp"
#include "platform/vision/worker/hand_pose/palm_detection.hpp"

namespace lumenary::platform::vision {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

std::vector<float> detectorRows() {
    // Every anchor far below any threshold.
    std::vector<float> rows(palmAnchorCount * palmRowLength, 0.0F);
    for (std::size_t index = 0; index < palmAnchorCount; ++index) {
        rows[index * palmRowLength] = -20.0F;
    }
    return rows;
}

void setRow(std::vector<float>& rows, std::size_t anchor, float logit, float width, float height) {
    float* row = rows.data() + anchor * palmRowLength;
    row[0] = logit;
    row[1] = 2;  // centre 2 px right of the anchor, 4 px below
    row[2] = 4;
    row[3] = width;
    row[4] = height;
    for (std::size_t keypoint = 0; keypoint < palmKeypointCount; ++keypoint) {
        row[5 + 2 * keypoint] = static_cast<float>(keypoint);
        row[6 + 2 * keypoint] = -static_cast<float>(keypoint);
    }
}

TEST(PalmDetection, DecodesEachAnchorIntoImagePixelsAndDropsWeakOrBrokenRows) {
    struct Case {
        std::size_t anchor;
        float logit;
        float width;
        bool kept;
        cv::Point2f anchorCentre;  // in input pixels
    };
    const std::vector<Case> cases = {
        {0, 2.0F, 20, true, {4, 4}},         // first cell of the 32 x 32 grid
        {1, 2.0F, 20, true, {4, 4}},         // its second anchor
        {2, 2.0F, 20, true, {12, 4}},        // the next cell along the row
        {64, 2.0F, 20, true, {4, 12}},       // the second row
        {2048, 2.0F, 20, true, {8, 8}},      // first cell of the 16 x 16 grid
        {2560, 2.0F, 20, true, {16, 16}},    // first cell of the 8 x 8 grid
        {2943, 2.0F, 20, true, {240, 240}},  // the last anchor
        {5, -0.1F, 20, false, {}},           // just under a score of 0.5
        {6, nan, 20, false, {}},
        {7, 2.0F, 0, false, {}},             // a box without area
        {8, 2.0F, nan, false, {}},
        {9, 2.0F, std::numeric_limits<float>::infinity(), false, {}},
    };
    // The image is 512 x 256, shrunk by half and centred below a 64 px band.
    const PalmInputPlacement placement{0.5F, {0, 64}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.anchor);
        auto rows = detectorRows();
        setRow(rows, test.anchor, test.logit, test.width, 10);
        const auto palms = decodePalmDetections(rows, placement, 0.5F);
        ASSERT_EQ(palms.size(), test.kept ? 1u : 0u);
        if (!test.kept) {
            continue;
        }
        const auto& palm = palms.front();
        EXPECT_NEAR(palm.score, 1.0 / (1.0 + std::exp(-2.0)), 1e-6);
        const cv::Point2f centre((test.anchorCentre.x + 2) * 2, (test.anchorCentre.y + 4 - 64) * 2);
        EXPECT_NEAR(palm.box.x, centre.x - 20, 1e-3);
        EXPECT_NEAR(palm.box.y, centre.y - 10, 1e-3);
        EXPECT_NEAR(palm.box.width, 40, 1e-3);
        EXPECT_NEAR(palm.box.height, 20, 1e-3);
        EXPECT_NEAR(palm.keypoints[3].x, (test.anchorCentre.x + 3) * 2, 1e-3);
        EXPECT_NEAR(palm.keypoints[3].y, (test.anchorCentre.y - 3 - 64) * 2, 1e-3);
    }
    EXPECT_TRUE(decodePalmDetections(std::vector<float>(100, 5.0F), placement, 0.5F).empty());
}

TEST(PalmDetection, KeepsTheStrongestOfOverlappingPalmsUpToTheLimit) {
    const auto palm = [](float score, float x) {
        PalmDetection detection;
        detection.score = score;
        detection.box = cv::Rect2f(x, 0, 10, 10);
        return detection;
    };
    // 0.7 overlaps 0.9 by 9/11; 0.8 lies beside both.
    const std::vector<PalmDetection> palms = {palm(0.7F, 1), palm(0.9F, 0), palm(0.8F, 50), palm(0.6F, 100)};
    const auto kept = strongestSeparatePalms(palms, 0.3F, 10);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].score, 0.9F);
    EXPECT_EQ(kept[1].score, 0.8F);
    EXPECT_EQ(kept[2].score, 0.6F);
    EXPECT_EQ(strongestSeparatePalms(palms, 0.3F, 2).size(), 2u);
}

TEST(HandCrop, TurnsTheCropSoTheFingersPointUpAndMapsItsPointsBack) {
    struct Case {
        const char* name;
        cv::Point2f fingers;  // from the wrist to the middle knuckle
    };
    const std::vector<Case> cases = {
        {"upright", {0, -1}}, {"pointing right", {1, 0}}, {"upside down", {0, 1}}, {"leaning left", {-1, -1}},
        {"no direction", {0, 0}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        PalmDetection palm;
        palm.box = cv::Rect2f(90, 180, 20, 40);  // centre (100, 200)
        palm.keypoints[palmWristKeypoint] = {100, 200};
        palm.keypoints[palmMiddleKnuckleKeypoint] = cv::Point2f(100, 200) + test.fingers * 10;
        const HandCrop crop = handCropFor(palm);
        const float length = std::hypot(test.fingers.x, test.fingers.y);
        const cv::Point2f up = length > 0 ? test.fingers / length : cv::Point2f(0, -1);
        EXPECT_NEAR(crop.side, 104, 1e-3);
        EXPECT_NEAR(crop.centre.x, 100 + up.x * 20, 1e-3);
        EXPECT_NEAR(crop.centre.y, 200 + up.y * 20, 1e-3);

        const auto toImage = cropToImage(crop, 224);
        const auto expectAt = [&](cv::Point2d inCrop, cv::Point2f inImage) {
            const auto mapped = mappedPoint(toImage, inCrop);
            EXPECT_NEAR(mapped.x, inImage.x, 1e-3) << inCrop;
            EXPECT_NEAR(mapped.y, inImage.y, 1e-3) << inCrop;
        };
        const cv::Point2f right(-up.y, up.x);  // the crop is turned, never mirrored
        expectAt({112, 112}, crop.centre);
        expectAt({112, 0}, crop.centre + up * 52);
        expectAt({224, 112}, crop.centre + right * 52);
        expectAt({0, 224}, crop.centre - right * 52 - up * 52);
    }
}

TEST(HandLandmarks, NormalisesEachJointUpwardsAndDropsThoseOutsideTheImage) {
    // The crop is the image itself: crop pixels are image pixels.
    const cv::Matx23d identity(1, 0, 0, 0, 1, 0);
    std::vector<float> landmarks(handLandmarkCount * 3, 0.0F);
    for (std::size_t index = 0; index < handLandmarkCount; ++index) {
        landmarks[index * 3] = 10.0F * static_cast<float>(index);
        landmarks[index * 3 + 1] = 50.0F;
    }
    landmarks[4 * 3] = -1;       // thumb tip left of the image
    landmarks[20 * 3 + 1] = nan;  // little finger tip lost
    const auto hand = handObservation(landmarks, 0.9F, identity, {200, 100});
    EXPECT_EQ(hand.confidence, 0.9F);
    ASSERT_EQ(hand.joints.size(), handLandmarkCount);
    // Joint 1 is the thumb tip (network point 4), joint 4 the thumb's root
    // (point 1), joint 17 the little finger's tip (point 20).
    const std::vector<std::pair<std::size_t, float>> expected = {
        {0, 0.9F}, {1, 0.0F}, {4, 0.9F}, {5, 0.9F}, {17, 0.0F}, {20, 0.9F},
    };
    for (const auto& [index, confidence] : expected) {
        EXPECT_EQ(hand.joints[index].key, handJointKeys[index]);
        EXPECT_EQ(hand.joints[index].confidence, confidence) << index;
    }
    ASSERT_TRUE(hand.joints[4].location);
    EXPECT_DOUBLE_EQ(hand.joints[4].location->x, 0.05);
    EXPECT_DOUBLE_EQ(hand.joints[4].location->y, 0.5);
    EXPECT_TRUE(handObservation(std::vector<float>(10), 0.9F, identity, {200, 100}).joints.empty());
}

}  // namespace
}  // namespace lumenary::platform::vision
