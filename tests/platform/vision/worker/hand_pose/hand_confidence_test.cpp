#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/worker/hand_pose/hand_confidence.hpp"

namespace lumenary::platform::vision {
namespace {

// An open right hand, fingers up, drawn in a 224-pixel crop: the wrist at
// the bottom, four straight fingers of three 20 px bones above the
// knuckles, the thumb out to the side. The world landmarks are the same
// shape in metres.
struct DrawnHand {
    std::vector<float> landmarks;
    std::vector<float> world;

    DrawnHand() {
        add(112, 180);  // wrist
        for (int bone = 1; bone <= 4; ++bone) {
            add(90 - 8.0F * static_cast<float>(bone), 170 - 12.0F * static_cast<float>(bone));  // thumb
        }
        for (const float x : {88.0F, 104.0F, 120.0F, 136.0F}) {
            for (int joint = 0; joint < 4; ++joint) {
                add(x, 110 - 20.0F * static_cast<float>(joint));
            }
        }
    }

    void add(float x, float y) {
        landmarks.insert(landmarks.end(), {x, y, 0});
        world.insert(world.end(), {x / 1000, y / 1000, 0});
    }
};

HandReading readingOf(const DrawnHand& hand) {
    HandReading reading;
    reading.presence = 0.98F;
    reading.handedness = 0.97F;
    reading.mirroredPresence = 0.96F;
    reading.mirroredHandedness = 0.02F;
    reading.landmarks = hand.landmarks;
    reading.worldLandmarks = hand.world;
    reading.cropSide = 224;
    // Where the detector put them: on the wrist, the knuckles and the
    // thumb's two lowest joints.
    const std::size_t matching[] = {0, 5, 9, 13, 17, 1, 2};
    for (std::size_t keypoint = 0; keypoint < palmKeypointCount; ++keypoint) {
        reading.palmKeypoints[keypoint] = {hand.landmarks[matching[keypoint] * 3], hand.landmarks[matching[keypoint] * 3 + 1]};
    }
    return reading;
}

TEST(HandConfidence, StaysHighForAHandAndFallsUnderAHalfForWhatOnlyOneNetworkTakesForOne) {
    struct Case {
        const char* name;
        std::function<void(DrawnHand&, HandReading&)> change;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"a hand as both networks see one", [](DrawnHand&, HandReading&) {}, true},
        {"the mirrored view less sure, naming the other hand",
         [](DrawnHand&, HandReading& reading) { reading.mirroredPresence = 0.8F; }, true},
        // Whiskers: present to the landmark network, but mirrored it names
        // the same hand again.
        {"fur whose mirror names the same hand",
         [](DrawnHand&, HandReading& reading) {
             reading.presence = 0.69F;
             reading.handedness = 0.02F;
             reading.mirroredPresence = 0.63F;
             reading.mirroredHandedness = 0.79F;
         },
         false},
        {"fingers collapsed onto the palm",
         [](DrawnHand& hand, HandReading&) {
             for (std::size_t knuckle : {5u, 9u, 13u, 17u}) {
                 for (std::size_t joint = knuckle + 1; joint < knuckle + 4; ++joint) {
                     hand.world[joint * 3 + 1] = hand.world[knuckle * 3 + 1] - 0.002F * static_cast<float>(joint - knuckle);
                 }
             }
         },
         false},
        {"every joint outside the crop",
         [](DrawnHand& hand, HandReading&) {
             for (std::size_t point = 0; point < hand.landmarks.size(); point += 3) {
                 hand.landmarks[point] += 400;
             }
         },
         false},
        {"the palm detector's palm elsewhere",
         [](DrawnHand&, HandReading& reading) {
             for (auto& keypoint : reading.palmKeypoints) {
                 keypoint += cv::Point2f(0, -110);
             }
         },
         false},
        {"a palm point the detector could not place",
         [](DrawnHand&, HandReading& reading) {
             reading.palmKeypoints[0].x = std::numeric_limits<float>::quiet_NaN();
         },
         false},
        {"no skeleton from the landmark network", [](DrawnHand& hand, HandReading&) { hand.world.clear(); }, false},
        {"a presence that is not a number",
         [](DrawnHand&, HandReading& reading) { reading.presence = std::numeric_limits<float>::quiet_NaN(); },
         false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        DrawnHand hand;
        HandReading reading = readingOf(hand);
        test.change(hand, reading);
        reading.landmarks = hand.landmarks;
        reading.worldLandmarks = hand.world;
        const float confidence = handConfidence(reading).combined;
        EXPECT_TRUE(confidence >= 0 && confidence <= 1) << confidence;
        EXPECT_EQ(confidence >= 0.5F, test.reported) << confidence;
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
