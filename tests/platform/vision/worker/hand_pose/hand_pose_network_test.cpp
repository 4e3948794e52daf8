#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/hand_pose/hand_pose_pipeline.hpp"
#include "platform/vision/worker/hand_pose_detector.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"

namespace lumenary::platform::vision {
namespace {

struct HandPhoto {
    std::filesystem::path path;
    // Where each hand lies, in pixels (origin top left) of the image
    // analysed: the photo, or the part `closeUp` of it enlarged four times.
    std::vector<cv::Rect> hands;
    cv::Rect closeUp;
};

// From the face library's documentation package and the image library's
// sample data.
const std::vector<HandPhoto> handPhotos = {
    // A man with a hand on a woman's shoulder and the other on his hip.
    {"/usr/share/doc/libdlib19.1/examples/faces/2009_004587.jpg", {{225, 195, 75, 65}, {15, 400, 140, 100}}, {}},
    // The hand on the shoulder filling the picture.
    {"/usr/share/doc/libdlib19.1/examples/faces/2009_004587.jpg", {{0, 0, 480, 400}}, {200, 170, 120, 100}},
    // A cup of coffee on a saucer.
    {"/usr/lib/python3/dist-packages/skimage/data/coffee.png", {}, {}},
    // A cat's face filling the frame: the whiskers by its mouth look like
    // fingers to the landmark network.
    {"/usr/lib/python3/dist-packages/skimage/data/chelsea.png", {}, {}},
    // A grey phantom of ellipses.
    {"/usr/lib/python3/dist-packages/skimage/data/phantom.png", {}, {}},
};

TEST(HandPoseNetworks, FindsTheHandsOfPackagedPhotosWithEveryJointOnItsHandAndNoneWhereThereIsNone) {
    const auto folder = visionNetworksFolder();
    if (!std::filesystem::exists(folder / (handDetectNetwork.name + ".json")) ||
        !std::filesystem::exists(folder / (handLandmarkNetwork.name + ".json"))) {
        GTEST_SKIP() << "The hand networks are not in " << folder << " (scripts/setup fetches them)";
    }
    auto& store = VisionNetworkStore::shared();
    auto palms = store.network(handDetectNetwork);
    ASSERT_TRUE(palms) << palms.error().description;
    auto landmarks = store.network(handLandmarkNetwork);
    ASSERT_TRUE(landmarks) << landmarks.error().description;

    for (const auto& photo : handPhotos) {
        SCOPED_TRACE(photo.path);
        if (!std::filesystem::exists(photo.path)) {
            std::cout << "Skipped: " << photo.path << " is missing (a minimal system may drop it)\n";
            continue;
        }
        const auto loaded = loadImage(photo.path.string());
        ASSERT_TRUE(loaded);
        cv::Mat image = loaded.value();
        if (!photo.closeUp.empty()) {
            cv::resize(image(photo.closeUp), image, {}, 4, 4, cv::INTER_CUBIC);
        }
        const cv::Size size = image.size();
        const auto hands = findHandPoses(image, *palms.value(), *landmarks.value());
        ASSERT_EQ(hands.size(), photo.hands.size());
        std::vector<bool> found(photo.hands.size(), false);
        for (const auto& hand : hands) {
            EXPECT_GT(hand.confidence, 0.9F);
            ASSERT_EQ(hand.joints.size(), 21u);
            // The hand whose region holds the wrist must hold every joint.
            const auto inPixels = [&](const PoseJoint& joint) {
                return cv::Point2d(joint.location->x * size.width, (1 - joint.location->y) * size.height);
            };
            const auto region = std::find_if(photo.hands.begin(), photo.hands.end(), [&](const cv::Rect& rect) {
                return cv::Rect2d(rect).contains(inPixels(hand.joints.front()));
            });
            ASSERT_NE(region, photo.hands.end()) << "wrist at " << inPixels(hand.joints.front());
            found[static_cast<std::size_t>(region - photo.hands.begin())] = true;
            for (const auto& joint : hand.joints) {
                EXPECT_TRUE(cv::Rect2d(*region).contains(inPixels(joint))) << joint.key << " at " << inPixels(joint);
                EXPECT_EQ(joint.confidence, hand.confidence) << joint.key;
            }
        }
        EXPECT_EQ(std::count(found.begin(), found.end(), true), static_cast<long>(found.size()));
    }
}

TEST(HandPoseNetworks, LeaveOutAnimalsPawsTheyTakeForHandsAndKeepTheUnsureHandsOfPeople) {
    const auto folder = visionNetworksFolder();
    for (const auto* network : {&handDetectNetwork, &handLandmarkNetwork, &cocoDetectorNetwork}) {
        if (!std::filesystem::exists(folder / (network->name + ".json"))) {
            GTEST_SKIP() << "The networks are not in " << folder << " (scripts/setup fetches them)";
        }
    }
    struct Case {
        std::filesystem::path path;
        // When not empty, the part of the photo enlarged `enlargement` times.
        cv::Rect closeUp;
        double enlargement;
        std::size_t hands;
    };
    const std::vector<Case> cases = {
        // A dog's paw on a towel, which the hand networks take for a hand
        // at 0.77.
        {"/usr/share/doc/libdlib19.1/examples/faces/dogs.jpg", {270, 720, 180, 180}, 1024.0 / 180, 0},
        // A horse's back and mane, at 0.64.
        {"/usr/share/darknet/data/horses.jpg", {306, 153, 102, 102}, 1024.0 / 102, 0},
        // A man's hand on a woman's shoulder, found at 0.79 only.
        {"/usr/share/doc/libdlib19.1/examples/faces/2008_002506.jpg", {}, 1, 1},
        // A hand filling the picture, its person cut by the frame, at 0.89.
        {"/usr/share/doc/libdlib19.1/examples/faces/2007_007763.jpg", {350, 240, 100, 100}, 4, 1},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.path.string() + " " + std::to_string(testCase.closeUp.x));
        if (!std::filesystem::exists(testCase.path)) {
            std::cout << "Skipped: " << testCase.path << " is missing (a minimal system may drop it)\n";
            continue;
        }
        const auto loaded = loadImage(testCase.path.string(), handPoseSourceSide);
        ASSERT_TRUE(loaded);
        cv::Mat image = loaded.value();
        if (!testCase.closeUp.empty()) {
            cv::resize(image(testCase.closeUp), image, {}, testCase.enlargement, testCase.enlargement, cv::INTER_CUBIC);
        }
        const auto hands = detectHandPoses(image);
        ASSERT_TRUE(hands) << hands.error().description;
        EXPECT_EQ(hands.value().size(), testCase.hands);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
