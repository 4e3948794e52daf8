#include <gtest/gtest.h>

#include "platform/vision/pose_joints.hpp"
#include "platform/vision/worker/body_pose_detector.hpp"
#include "platform/vision/worker/nanodet_decoding.hpp"
#include "platform/vision/worker/posenet_decoding.hpp"

// The networks' outputs turned into observations, on outputs made by hand.
namespace lumenary::platform::vision {
namespace {

cv::Mat outputOf(std::vector<int> shape, float fill) {
    return cv::Mat(static_cast<int>(shape.size()), shape.data(), CV_32F, cv::Scalar(fill));
}

float& at(cv::Mat& output, int channel, int row, int column) {
    return output.ptr<float>()[(static_cast<std::size_t>(channel) * static_cast<std::size_t>(output.size[2]) +
                                static_cast<std::size_t>(row)) *
                                   static_cast<std::size_t>(output.size[3]) +
                               static_cast<std::size_t>(column)];
}

// A NanoDet output of `side` x `side` cells, every class unlikely, every
// distance 0.
cv::Mat nanodetOutput(int side) {
    return outputOf({1, 124, side, side}, -10.0f);
}

// One cell's distances, in strides: each side's distribution is sure of its bin.
void setDistances(cv::Mat& output, int row, int column, std::array<int, 4> bins) {
    for (int side = 0; side < 4; ++side) {
        for (int bin = 0; bin < 11; ++bin) {
            at(output, 80 + side * 11 + bin, row, column) = bin == bins[static_cast<std::size_t>(side)] ? 30.0f : 0.0f;
        }
    }
}

TEST(NanodetDecoding, ACellScoringOneOfTheClassesGivesItsBoxFromTheDistances) {
    cv::Mat output = nanodetOutput(2);
    // Cell (row 1, column 0) of stride 16: centre (8, 24).
    at(output, 15, 1, 0) = 2.0f;  // cat, 0.88
    at(output, 16, 1, 0) = 0.0f;  // dog, 0.5
    at(output, 14, 1, 0) = 1.0f;  // bird, 0.73
    setDistances(output, 1, 0, {1, 2, 3, 0});
    const std::vector<cv::Mat> outputs = {output, outputOf({1, 124, 3, 2}, 0), outputOf({1, 80, 1, 1}, 0)};

    const auto objects = nanodetObjects(outputs, 32, {15, 16}, 0.6f);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_NEAR(objects[0].box.x, 8 - 16, 1e-3);
    EXPECT_NEAR(objects[0].box.y, 24 - 32, 1e-3);
    EXPECT_NEAR(objects[0].box.width, (1 + 3) * 16, 1e-3);
    EXPECT_NEAR(objects[0].box.height, (2 + 0) * 16, 1e-3);
    ASSERT_EQ(objects[0].classScores.size(), 2u);
    EXPECT_NEAR(objects[0].classScores[0], 0.8808f, 1e-4);
    EXPECT_NEAR(objects[0].classScores[1], 0.5f, 1e-4);
    EXPECT_NEAR(objects[0].otherClassScore, 0.7311f, 1e-4);
    EXPECT_NEAR(objects[0].bestScore(), 0.8808f, 1e-4);

    EXPECT_TRUE(nanodetObjects(outputs, 32, {15, 16}, 0.9f).empty());
    EXPECT_TRUE(nanodetObjects(outputs, 32, {17}, 0.1f).empty());
}

TEST(NanodetDecoding, OverlappingObjectsLeaveTheBestWithTheHighestScoresOfEach) {
    const auto object = [](cv::Rect2f box, float cat, float dog) { return DetectedObject{box, {cat, dog}, 0.1f}; };
    struct Case {
        std::string name;
        std::vector<DetectedObject> objects;
        std::vector<DetectedObject> kept;
    };
    const std::vector<Case> cases = {
        {"the same box twice",
         {object({0, 0, 10, 10}, 0.6f, 0.2f), object({1, 0, 10, 10}, 0.3f, 0.7f)},
         {object({1, 0, 10, 10}, 0.6f, 0.7f)}},
        {"apart, best first",
         {object({0, 0, 10, 10}, 0.6f, 0), object({20, 0, 10, 10}, 0.8f, 0)},
         {object({20, 0, 10, 10}, 0.8f, 0), object({0, 0, 10, 10}, 0.6f, 0)}},
        {"a small box inside a better one",
         {object({0, 0, 100, 100}, 0.9f, 0), object({10, 10, 20, 20}, 0.7f, 0)},
         {object({0, 0, 100, 100}, 0.9f, 0)}},
        {"overlapping by a third",
         {object({0, 0, 10, 10}, 0.9f, 0), object({5, 0, 10, 10}, 0.7f, 0)},
         {object({0, 0, 10, 10}, 0.9f, 0), object({5, 0, 10, 10}, 0.7f, 0)}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto kept = suppressedOverlaps(testCase.objects, 0.45f);
        ASSERT_EQ(kept.size(), testCase.kept.size());
        for (std::size_t index = 0; index < kept.size(); ++index) {
            EXPECT_EQ(kept[index].box, testCase.kept[index].box);
            EXPECT_EQ(kept[index].classScores, testCase.kept[index].classScores);
        }
    }
}

// PoseNet outputs on a `side` x `side` grid with the people's keypoints at
// the given cells (offsets 0) and the displacements that lead from each
// keypoint to the next along the skeleton.
constexpr std::array<std::pair<int, int>, 16> skeletonEdges = {
    {{0, 1}, {1, 3}, {0, 2}, {2, 4}, {0, 5}, {5, 7}, {7, 9}, {5, 11},
     {11, 13}, {13, 15}, {0, 6}, {6, 8}, {8, 10}, {6, 12}, {12, 14}, {14, 16}}};

struct DrawnPerson {
    std::array<cv::Point, 17> cells;  // x column, y row
    float logit = 5.0f;
};

std::vector<cv::Mat> posenetOutputs(int side, const std::vector<DrawnPerson>& people) {
    auto heatmaps = outputOf({1, 17, side, side}, -8.0f);
    auto offsets = outputOf({1, 34, side, side}, 0.0f);
    auto forward = outputOf({1, 32, side, side}, 0.0f);
    auto backward = outputOf({1, 32, side, side}, 0.0f);
    for (const auto& person : people) {
        for (int keypoint = 0; keypoint < 17; ++keypoint) {
            const auto cell = person.cells[static_cast<std::size_t>(keypoint)];
            at(heatmaps, keypoint, cell.y, cell.x) = person.logit;
        }
        for (int edge = 0; edge < 16; ++edge) {
            const auto [parent, child] = skeletonEdges[static_cast<std::size_t>(edge)];
            const auto from = person.cells[static_cast<std::size_t>(parent)];
            const auto to = person.cells[static_cast<std::size_t>(child)];
            at(forward, edge, from.y, from.x) = static_cast<float>((to.y - from.y) * 16);
            at(forward, edge + 16, from.y, from.x) = static_cast<float>((to.x - from.x) * 16);
            at(backward, edge, to.y, to.x) = static_cast<float>((from.y - to.y) * 16);
            at(backward, edge + 16, to.y, to.x) = static_cast<float>((from.x - to.x) * 16);
        }
    }
    return {heatmaps, offsets, forward, backward};
}

DrawnPerson personAt(cv::Point corner, float logit) {
    DrawnPerson person;
    for (int keypoint = 0; keypoint < 17; ++keypoint) {
        person.cells[static_cast<std::size_t>(keypoint)] = corner + cv::Point(keypoint % 4, keypoint / 4);
    }
    person.logit = logit;
    return person;
}

TEST(PosenetDecoding, EachPersonGrowsFromItsStrongestKeypointAlongTheSkeleton) {
    const auto first = personAt({0, 0}, 5.0f);
    const auto second = personAt({6, 6}, 4.0f);
    const auto poses = posenetPoses(posenetOutputs(12, {second, first}), PosenetDecoding{});
    ASSERT_EQ(poses.size(), 2u);
    for (std::size_t index = 0; index < 2; ++index) {
        const auto& drawn = index == 0 ? first : second;
        SCOPED_TRACE(index);
        const float score = 1.0f / (1.0f + std::exp(-drawn.logit));
        EXPECT_NEAR(poses[index].score, score, 1e-4);
        for (std::size_t keypoint = 0; keypoint < 17; ++keypoint) {
            EXPECT_EQ(poses[index].keypoints[keypoint].position, cv::Point2f(drawn.cells[keypoint] * 16));
            EXPECT_NEAR(poses[index].keypoints[keypoint].score, score, 1e-4);
        }
    }
}

TEST(PosenetDecoding, NoKeypointAboveTheThresholdOrOutputsOfAnotherShapeGiveNoPose) {
    EXPECT_TRUE(posenetPoses(posenetOutputs(12, {personAt({0, 0}, -1.0f)}), PosenetDecoding{}).empty());
    auto outputs = posenetOutputs(12, {personAt({0, 0}, 5.0f)});
    outputs.pop_back();
    EXPECT_TRUE(posenetPoses(outputs, PosenetDecoding{}).empty());
    EXPECT_TRUE(posenetPoses({}, PosenetDecoding{}).empty());
}

TEST(BodyPoseObservations, JointsComeInTheBodyTableOrderWithTheNeckBetweenTheShoulders) {
    PosenetPose pose;
    for (std::size_t keypoint = 0; keypoint < 17; ++keypoint) {
        pose.keypoints[keypoint] = {{10.0f * static_cast<float>(keypoint), 20.0f}, 0.5f};
    }
    pose.keypoints[5] = {{100, 50}, 0.9f};    // left shoulder
    pose.keypoints[6] = {{200, 150}, 0.6f};   // right shoulder
    pose.keypoints[16] = {{300, 300}, 0.05f};  // right ankle, unsure
    pose.score = 0.4f;
    PosenetPose faint = pose;
    faint.score = 0.1f;

    // The image was scaled by a half into the input: 800 x 400 pixels.
    const auto observations = bodyPoseObservations({pose, faint}, 0.5, cv::Size(800, 400));
    ASSERT_EQ(observations.size(), 1u);
    const auto& observation = observations[0];
    EXPECT_EQ(observation.confidence, 0.4f);
    ASSERT_EQ(observation.joints.size(), bodyJointKeys.size());
    for (std::size_t joint = 0; joint < bodyJointKeys.size(); ++joint) {
        EXPECT_EQ(observation.joints[joint].key, bodyJointKeys[joint]);
        ASSERT_TRUE(observation.joints[joint].location);
    }
    const auto& nose = observation.joints[0];
    EXPECT_EQ(nose.location, (NormalizedPoint{0.0, 1.0 - 40.0 / 400}));
    EXPECT_EQ(nose.confidence, 0.5f);
    const auto& leftShoulder = observation.joints[5];
    EXPECT_EQ(leftShoulder.location, (NormalizedPoint{200.0 / 800, 1.0 - 100.0 / 400}));
    const auto& neck = observation.joints[7];
    EXPECT_EQ(neck.key, "neck");
    EXPECT_EQ(neck.location, (NormalizedPoint{300.0 / 800, 1.0 - 200.0 / 400}));
    EXPECT_EQ(neck.confidence, 0.6f);
    const auto& leftElbow = observation.joints[8];
    EXPECT_EQ(leftElbow.location, (NormalizedPoint{140.0 / 800, 1.0 - 40.0 / 400}));
    const auto& rightAnkle = observation.joints[17];
    EXPECT_EQ(rightAnkle.confidence, 0.0f);
    // Past the image's edge: held at the edge.
    EXPECT_EQ(rightAnkle.location, (NormalizedPoint{600.0 / 800, 0.0}));
}

}  // namespace
}  // namespace lumenary::platform::vision
