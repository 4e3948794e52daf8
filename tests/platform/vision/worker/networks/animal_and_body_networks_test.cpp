#include <algorithm>

#include <gtest/gtest.h>

#include "platform/vision/worker/animal_recognizer.hpp"
#include "platform/vision/worker/body_pose_detector.hpp"
#include "platform/vision/worker/networks/packaged_photos.hpp"

// The real networks on packaged photos: what a person sees in them.
namespace lumenary::platform::vision {
namespace {

using vision_test::PackagedPhoto;

struct Animals {
    std::size_t cats = 0;
    std::size_t dogs = 0;
};

Animals countedAnimals(const std::vector<AnimalObservation>& observations) {
    Animals counted;
    for (const auto& observation : observations) {
        EXPECT_FALSE(observation.labels.empty());
        const auto& top = observation.labels.front().identifier;
        counted.cats += top == "Cat" ? 1 : 0;
        counted.dogs += top == "Dog" ? 1 : 0;
        EXPECT_TRUE(top == "Cat" || top == "Dog") << top;
    }
    return counted;
}

TEST(AnimalNetwork, FindsTheCatsAndDogsOfPackagedPhotosAndNothingElse) {
    struct Case {
        const PackagedPhoto* photo;
        std::size_t cats;
        std::size_t dogs;
    };
    const std::vector<Case> cases = {
        {&vision_test::chelseaTheCat, 1, 0}, {&vision_test::dogWithBicycle, 0, 1},
        {&vision_test::fourDogs, 0, 4},      {&vision_test::personWithDogAndHorse, 0, 1},
        {&vision_test::astronaut, 0, 0},     {&vision_test::horses, 0, 0},
        {&vision_test::eagle, 0, 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.photo->path);
        LUMENARY_PACKAGED_PHOTO(image, *testCase.photo);
        const auto animals = recognizeAnimals(image);
        ASSERT_TRUE(animals) << animals.error().description;
        const auto counted = countedAnimals(animals.value());
        EXPECT_EQ(counted.cats, testCase.cats);
        EXPECT_EQ(counted.dogs, testCase.dogs);
        for (const auto& animal : animals.value()) {
            const auto& box = animal.boundingBox;
            EXPECT_TRUE(box.x >= 0 && box.y >= 0 && box.x + box.width <= 1.0 + 1e-9 && box.y + box.height <= 1.0 + 1e-9);
            EXPECT_GT(animal.labels.front().confidence, 0.5F);
        }
    }
}

TEST(AnimalNetwork, FindsACatFillingTheFrameAndTheSameCatSmallInALargePhoto) {
    LUMENARY_PACKAGED_PHOTO(chelsea, vision_test::chelseaTheCat);
    // The cat's face and body, edge to edge.
    cv::Mat filling = chelsea(cv::Rect(60, 0, 300, 300)).clone();
    // The whole photo at a ninth of the width of a grey photo of 12 MP,
    // towards a corner.
    cv::Mat large(3000, 4000, CV_8UC3, cv::Scalar(90, 110, 100));
    cv::Mat small;
    cv::resize(chelsea, small, cv::Size(450, 300), 0, 0, cv::INTER_AREA);
    small.copyTo(large(cv::Rect(3000, 2400, small.cols, small.rows)));

    for (const cv::Mat* image : {&filling, &large}) {
        SCOPED_TRACE(image->size());
        const auto animals = recognizeAnimals(*image);
        ASSERT_TRUE(animals) << animals.error().description;
        ASSERT_EQ(animals.value().size(), 1u);
        EXPECT_EQ(animals.value()[0].labels.front().identifier, "Cat");
    }
    // The small cat's box is where it was put (origin lower left).
    const auto box = recognizeAnimals(large).value()[0].boundingBox;
    EXPECT_NEAR(box.x, 3000.0 / 4000, 0.03);
    EXPECT_NEAR(box.y, (3000.0 - 2400 - small.rows) / 3000, 0.03);
}

// Two panels of the four-dog photo (one dog filling each) side by side,
// shrunk to `width`.
cv::Mat twoPanels(const cv::Mat& dogs, const cv::Rect& left, const cv::Rect& right, int width) {
    cv::Mat joined;
    cv::Mat rightPanel;
    cv::resize(dogs(right), rightPanel, {right.width * left.height / right.height, left.height}, 0, 0, cv::INTER_AREA);
    cv::hconcat(dogs(left), rightPanel, joined);
    cv::Mat shrunk;
    cv::resize(joined, shrunk, {width, joined.rows * width / joined.cols}, 0, 0, cv::INTER_AREA);
    return shrunk;
}

TEST(AnimalNetwork, FindsEachDogOfACollage) {
    LUMENARY_PACKAGED_PHOTO(dogs, vision_test::fourDogs);
    const cv::Rect topLeft(0, 0, 462, 452), topRight(462, 0, 438, 452);
    const cv::Rect bottomLeft(0, 462, 462, 454), bottomRight(462, 462, 438, 454);
    struct Case {
        cv::Rect left;
        cv::Rect right;
        int width;
    };
    const std::vector<Case> cases = {
        {topLeft, topRight, 690}, {bottomLeft, bottomRight, 690}, {topLeft, topRight, 480}, {topRight, bottomLeft, 600}};
    for (const auto& testCase : cases) {
        const cv::Mat collage = twoPanels(dogs, testCase.left, testCase.right, testCase.width);
        SCOPED_TRACE(::testing::Message() << testCase.left << " beside " << testCase.right << ", " << collage.size());
        const auto animals = recognizeAnimals(collage);
        ASSERT_TRUE(animals) << animals.error().description;
        const auto counted = countedAnimals(animals.value());
        EXPECT_EQ(counted.dogs, 2u);
        EXPECT_EQ(counted.cats, 0u);
        // One in each panel.
        ASSERT_EQ(animals.value().size(), 2u);
        const double splitAt = static_cast<double>(testCase.left.width) /
                               (testCase.left.width + testCase.right.width * testCase.left.height / testCase.right.height);
        std::vector<double> centres;
        for (const auto& animal : animals.value()) {
            centres.push_back(animal.boundingBox.x + animal.boundingBox.width / 2);
        }
        std::sort(centres.begin(), centres.end());
        EXPECT_LT(centres[0], splitAt);
        EXPECT_GT(centres[1], splitAt);
    }
}

// Whether every joint found lies in the box (normalised, origin lower left).
void expectJointsInside(const PoseObservation& pose, const NormalizedRect& box) {
    for (const auto& joint : pose.joints) {
        if (joint.confidence <= 0) {
            continue;
        }
        ASSERT_TRUE(joint.location);
        EXPECT_GE(joint.location->x, box.x) << joint.key;
        EXPECT_LE(joint.location->x, box.x + box.width) << joint.key;
        EXPECT_GE(joint.location->y, box.y) << joint.key;
        EXPECT_LE(joint.location->y, box.y + box.height) << joint.key;
    }
}

std::size_t jointsFound(const PoseObservation& pose) {
    return static_cast<std::size_t>(std::count_if(pose.joints.begin(), pose.joints.end(),
                                                  [](const PoseJoint& joint) { return joint.confidence > 0; }));
}

TEST(BodyPoseNetwork, FindsOnePersonsJointsInsideThePersonsBox) {
    struct Case {
        const PackagedPhoto* photo;
        // The person, drawn by hand around the whole body (normalised,
        // origin lower left).
        NormalizedRect person;
        std::size_t leastJoints;
    };
    const std::vector<Case> cases = {
        {&vision_test::personWithDogAndHorse, {0.28, 0.1, 0.18, 0.68}, 17},
        {&vision_test::astronaut, {0.1, 0.0, 0.6, 0.85}, 10},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.photo->path);
        LUMENARY_PACKAGED_PHOTO(image, *testCase.photo);
        const auto poses = detectBodyPoses(image);
        ASSERT_TRUE(poses) << poses.error().description;
        ASSERT_EQ(poses.value().size(), 1u);
        const auto& pose = poses.value()[0];
        ASSERT_EQ(pose.joints.size(), 18u);
        EXPECT_EQ(pose.joints[0].key, "nose");
        EXPECT_EQ(pose.joints[7].key, "neck");
        EXPECT_GE(jointsFound(pose), testCase.leastJoints);
        EXPECT_GT(pose.confidence, 0.3F);
        expectJointsInside(pose, testCase.person);
        // Head above hips.
        EXPECT_GT(pose.joints[0].location->y, pose.joints[12].location->y);
    }
}

TEST(BodyPoseNetwork, FindsEachOfSeveralPeopleAndNoPoseWhereNoPersonIs) {
    {
        LUMENARY_PACKAGED_PHOTO(group, vision_test::sevenPeople);
        const auto poses = detectBodyPoses(group);
        ASSERT_TRUE(poses) << poses.error().description;
        EXPECT_GE(poses.value().size(), 6u);
        EXPECT_LE(poses.value().size(), 8u);
        for (const auto& pose : poses.value()) {
            EXPECT_GE(jointsFound(pose), 8u);
        }
    }
    for (const auto* photo : {&vision_test::fourDogs, &vision_test::chelseaTheCat, &vision_test::eagle}) {
        SCOPED_TRACE(photo->path);
        LUMENARY_PACKAGED_PHOTO(image, *photo);
        const auto poses = detectBodyPoses(image);
        ASSERT_TRUE(poses) << poses.error().description;
        EXPECT_TRUE(poses.value().empty());
    }
}

TEST(AnimalAndBodyNetworks, AnswerOnImagesOfExtremeShapes) {
    if (const auto missing = vision_test::missingNetworks()) {
        GTEST_SKIP() << *missing;
    }
    for (const cv::Size size :
         {cv::Size(1, 1), cv::Size(5000, 1), cv::Size(1, 5000), cv::Size(2000, 1), cv::Size(1, 2000)}) {
        SCOPED_TRACE(size);
        const cv::Mat image(size, CV_8UC3, cv::Scalar(200, 30, 30));
        const auto animals = recognizeAnimals(image);
        ASSERT_TRUE(animals) << animals.error().description;
        EXPECT_TRUE(animals.value().empty());
        const auto poses = detectBodyPoses(image);
        ASSERT_TRUE(poses) << poses.error().description;
        EXPECT_TRUE(poses.value().empty());
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
