#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/worker/hand_pose/animal_paw.hpp"

namespace lumenary::platform::vision {
namespace {

const cv::Size imageSize(1000, 800);

// A hand of two joints spanning `box` (pixels, origin top left) in an
// image of imageSize.
PoseObservation handIn(const cv::Rect2f& box, float confidence) {
    PoseObservation hand;
    hand.confidence = confidence;
    for (const cv::Point2f corner : {box.tl(), box.br()}) {
        hand.joints.push_back({"joint", NormalizedPoint{corner.x / imageSize.width, 1.0 - corner.y / imageSize.height},
                               confidence});
    }
    return hand;
}

TEST(AnimalPaw, IsAnUnsureHandOnAnAnimalWithNoPersonWithinReach) {
    const cv::Rect2f hand(400, 500, 100, 100);
    const SeenBody squirrel{{300, 300, 400, 400}, false};
    const SeenBody personAround{{350, 100, 300, 650}, true};
    // Its box ends 60 px short of the hand, within an arm's reach (a
    // quarter of its width).
    const SeenBody personBeside{{0, 100, 340, 600}, true};
    const SeenBody personAcrossTheRoom{{0, 0, 150, 200}, true};
    const SeenBody birdElsewhere{{800, 0, 200, 200}, false};
    struct Case {
        const char* name;
        float confidence;
        std::vector<SeenBody> bodies;
        bool paw;
    };
    const std::vector<Case> cases = {
        {"a squirrel holding a branch, no one in the photo", 0.65F, {squirrel}, true},
        {"a hand stroking the animal, its owner seen", 0.65F, {squirrel, personAround}, false},
        {"a hand held out to the animal by a person beside it", 0.65F, {squirrel, personBeside}, false},
        {"a paw, the only person far across the room", 0.65F, {squirrel, personAcrossTheRoom}, true},
        {"a sure hand on an animal, its owner out of the frame", sureHandConfidence, {squirrel}, false},
        {"a hand with nothing found around it", 0.65F, {}, false},
        {"a hand beside an animal but not on it", 0.65F, {birdElsewhere}, false},
        {"a hand on an animal whose box is empty", 0.65F, {{{450, 550, 0, 0}, false}}, false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(isAnAnimalsPaw(handIn(hand, testCase.confidence), imageSize, testCase.bodies), testCase.paw);
    }
}

TEST(AnimalPaw, LeavesAHandWithoutAPlaceToAnimalsUnjudged) {
    const std::vector<SeenBody> everywhere = {{{-10, -10, 2000, 2000}, false}};
    PoseObservation unlocated;
    unlocated.confidence = 0.6F;
    unlocated.joints.push_back({"joint", std::nullopt, 0.0F});
    EXPECT_FALSE(isAnAnimalsPaw(unlocated, imageSize, everywhere));
    PoseObservation notANumber = unlocated;
    notANumber.joints.front().location =
        NormalizedPoint{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    EXPECT_FALSE(isAnAnimalsPaw(notANumber, imageSize, everywhere));
}

}  // namespace
}  // namespace lumenary::platform::vision
