#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <numbers>
#include <sstream>

#include <opencv2/imgproc.hpp>

#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/worker/face_analysis.hpp"
#include "platform/vision/worker/face_crop.hpp"
#include "platform/vision/worker/face_pose.hpp"
#include "platform/vision/worker/rotated_image.hpp"

namespace lumenary::platform::vision {
namespace {

// A face backend that answers each detection with the next scripted
// outcome and prints a face as the size of the image it is given, keeping
// what it was shown.
class ScriptedFaceBackend final : public FaceBackend {
public:
    std::deque<PlatformOutcome<std::vector<DetectedFace>>> detections;
    std::vector<cv::Size> detectedImages;
    std::vector<cv::Size> printedImages;
    std::vector<std::vector<cv::Point2f>> printedLandmarks;
    // Prints of images this wide fail.
    int failingWidth = -1;
    std::optional<PlatformError> unavailable;

    PlatformOutcome<std::vector<DetectedFace>> detect(const cv::Mat& rgb) override {
        detectedImages.push_back(rgb.size());
        if (detections.empty()) {
            return std::vector<DetectedFace>{};
        }
        auto next = std::move(detections.front());
        detections.pop_front();
        return next;
    }
    PlatformOutcome<FaceFeaturePrint> print(const cv::Mat& rgb, const std::vector<cv::Point2f>& landmarks) override {
        printedImages.push_back(rgb.size());
        printedLandmarks.push_back(landmarks);
        if (rgb.cols == failingWidth) {
            return visionServiceError(500, "Failed to generate feature print");
        }
        return FaceFeaturePrint{{static_cast<float>(rgb.cols), static_cast<float>(rgb.rows)}};
    }
    std::optional<PlatformError> printingUnavailable() override { return unavailable; }
};

DetectedFace faceAt(NormalizedRect box, std::optional<double> roll = 0.0) {
    return {FaceObservation{box, roll, 0.0, std::nullopt}, {cv::Point2f(500, 400)}};
}

const cv::Mat frame(800, 1000, CV_8UC3, cv::Scalar::all(128));

TEST(FaceCrop, TheMarginIsAFifthOfTheFaceAndTheCropStaysInsideTheImage) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        NormalizedRect box;
        std::optional<cv::Rect> crop;
    };
    const std::vector<Case> cases = {
        {{0.9, 0.5, 0.1, 0.25}, cv::Rect(880, 160, 120, 280)},
        {{0.4, 0.25, 0.2, 0.25}, cv::Rect(360, 360, 280, 280)},
        // At the left edge the margin cut off on the left is not added on
        // the right: the face keeps its 40 px right margin.
        {{0.0, 0.5, 0.2, 0.25}, cv::Rect(0, 160, 240, 280)},
        {{0.0, 0.0, 1.0, 1.0}, cv::Rect(0, 0, 1000, 800)},
        {{0.0, 0.75, 0.1, 0.25}, cv::Rect(0, 0, 120, 240)},
        {{1.2, 0.5, 0.1, 0.1}, std::nullopt},
        {{nan, 0.5, 0.1, 0.1}, std::nullopt},
        {{0.5, 0.5, infinity, 0.1}, std::nullopt},
    };
    for (const auto& [box, crop] : cases) {
        EXPECT_EQ(faceCropRect(box, frame.size()), crop) << box.x << " " << box.y << " " << box.width << " " << box.height;
    }
}

TEST(FaceRotation, TheCanvasHoldsTheWholeTurnedImageCutDownToWholePixels) {
    struct Case {
        cv::Size size;
        double angle;
        cv::Size turned;
    };
    const std::vector<Case> cases = {
        {{400, 300}, 0.0, {400, 300}},
        {{400, 300}, std::numbers::pi / 2, {300, 400}},
        {{100, 100}, std::numbers::pi / 4, {141, 141}},
    };
    for (const auto& [size, angle, turned] : cases) {
        EXPECT_EQ(rotateImage(cv::Mat(size, CV_8UC3, cv::Scalar::all(255)), angle).image.size(), turned) << angle;
    }
    // Counter-clockwise as seen: the top-right corner goes to the top left.
    cv::Mat marked(100, 200, CV_8UC3, cv::Scalar::all(0));
    marked(cv::Rect(180, 0, 20, 20)).setTo(cv::Scalar::all(255));
    const auto quarter = rotateImage(marked, std::numbers::pi / 2);
    EXPECT_GT(quarter.image.at<cv::Vec3b>(5, 5)[0], 200);
    const auto moved = quarter.transform * cv::Matx31d(190, 10, 1);
    EXPECT_NEAR(moved(0), 10, 1);
    EXPECT_NEAR(moved(1), 10, 1);
}

std::vector<cv::Point2f> uprightLandmarks(float noseShift) {
    // Eyes level at y 100, outer corners 60 px apart, nose tip between.
    std::vector<cv::Point2f> points(faceLandmarkCount, cv::Point2f(100, 150));
    for (int index = 0; index < 6; ++index) {
        points[36 + index] = cv::Point2f(70 + 4.0F * static_cast<float>(index), 100);
        points[42 + index] = cv::Point2f(110 + 4.0F * static_cast<float>(index), 100);
    }
    points[36] = cv::Point2f(70, 100);
    points[45] = cv::Point2f(130, 100);
    points[30] = cv::Point2f(100 + noseShift, 130);
    return points;
}

TEST(FacePose, RollIsTheEyeLineCounterClockwiseAndYawFollowsTheNoseAcrossTheEyes) {
    struct Case {
        double turn;
        float noseShift;
        double roll;
        int yawSign;
    };
    const std::vector<Case> cases = {
        {0.0, 0.0F, 0.0, 0},
        {0.4, 0.0F, 0.4, 0},
        {-0.5, 0.0F, -0.5, 0},
        {0.0, 10.0F, 0.0, 1},
        {0.3, -10.0F, 0.3, -1},
    };
    for (const auto& [turn, noseShift, roll, yawSign] : cases) {
        auto points = uprightLandmarks(noseShift);
        // Turned about (100, 100) counter-clockwise as seen (y points down).
        for (auto& point : points) {
            const double x = point.x - 100;
            const double y = point.y - 100;
            point = cv::Point2f(static_cast<float>(100 + x * std::cos(turn) + y * std::sin(turn)),
                                static_cast<float>(100 - x * std::sin(turn) + y * std::cos(turn)));
        }
        const auto pose = facePose(points);
        ASSERT_TRUE(pose);
        EXPECT_NEAR(pose->roll, roll, 1e-5) << turn;
        EXPECT_EQ((pose->yaw > 1e-6) - (pose->yaw < -1e-6), yawSign) << noseShift;
    }
    EXPECT_FALSE(facePose(std::vector<cv::Point2f>(5)));
}

TEST(FaceFeatureDistance, ComparesPrintsByTheAngleBetweenThemWhateverTheirLength) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string name;
        FaceFeaturePrint first;
        FaceFeaturePrint second;
        std::optional<double> distance;
    };
    const std::vector<Case> cases{
        {"the same print", {{0.6F, 0.8F}}, {{0.6F, 0.8F}}, 0.0},
        {"the same direction, longer", {{0.6F, 0.8F}}, {{3.0F, 4.0F}}, 0.0},
        {"at right angles", {{1.0F, 0.0F}}, {{0.0F, 2.0F}}, 1.0 / faceFeatureDistanceScale},
        {"opposite", {{1.0F, 0.0F}}, {{-1.0F, 0.0F}}, 2.0 / faceFeatureDistanceScale},
        {"different lengths", {{1.0F, 0.0F}}, {{1.0F, 0.0F, 0.0F}}, std::nullopt},
        {"empty", {}, {}, std::nullopt},
        {"a zero print", {{0.0F, 0.0F}}, {{1.0F, 0.0F}}, std::nullopt},
        {"not a number", {{static_cast<float>(nan), 1.0F}}, {{1.0F, 0.0F}}, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto distance = faceFeatureDistance(testCase.first, testCase.second);
        ASSERT_EQ(distance.has_value(), testCase.distance.has_value());
        if (distance) {
            EXPECT_NEAR(*distance, *testCase.distance, 1e-6);
        }
    }
}

TEST(FaceFeatureOfTheFirstFace, ALeaningFaceIsSetUprightOnceWithANoticeAndOnlyPastTheThreshold) {
    struct Case {
        std::string name;
        std::optional<double> roll;
        // What the second search, on the upright image, finds.
        std::optional<PlatformOutcome<std::vector<DetectedFace>>> second;
        std::string notice;
        std::size_t detections;
        // The answer: a print, nothing, or an error.
        bool printed;
        std::optional<std::int64_t> errorCode;
    };
    const auto upright = std::vector{faceAt({0.4, 0.25, 0.2, 0.25})};
    const std::vector<Case> cases = {
        {"no roll", std::nullopt, std::nullopt, "", 1, true, std::nullopt},
        {"just at the threshold", 0.26, std::nullopt, "", 1, true, std::nullopt},
        {"leaning", -0.5, upright, "Face rotation detected (roll: -0.5). Correcting image...\n", 2, true,
         std::nullopt},
        {"leaning, nothing upright", 0.5, std::vector<DetectedFace>{}, "Face rotation detected (roll: 0.5). Correcting image...\n",
         2, false, std::nullopt},
        // Still leaning after the turn: no third search.
        {"still leaning", 0.5, std::vector{faceAt({0.4, 0.25, 0.2, 0.25}, 0.5)},
         "Face rotation detected (roll: 0.5). Correcting image...\n", 2, true, std::nullopt},
        {"the second search fails", -0.5, visionServiceError(500, "The image analysis failed: out of memory"),
         "Face rotation detected (roll: -0.5). Correcting image...\n", 2, false, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFaceBackend backend;
        backend.detections.push_back(std::vector{faceAt({0.4, 0.25, 0.2, 0.25}, c.roll), faceAt({0, 0, 1, 1})});
        if (c.second) {
            backend.detections.push_back(*c.second);
        }
        std::ostringstream console;
        const auto print = generateFaceFeature(frame, backend, console);

        EXPECT_EQ(console.str(), c.notice);
        ASSERT_EQ(backend.detectedImages.size(), c.detections);
        if (c.detections == 2) {
            // The whole image, turned upright.
            EXPECT_EQ(backend.detectedImages[1], rotateImage(frame, -*c.roll).image.size());
        }
        if (c.errorCode) {
            ASSERT_FALSE(print);
            EXPECT_EQ(print.error().code, *c.errorCode);
            continue;
        }
        ASSERT_TRUE(print) << print.error().description;
        ASSERT_EQ(print.value().has_value(), c.printed);
        if (c.printed) {
            // Only the first face is printed, from its crop of the image it
            // was last found in, with its landmarks moved into the crop.
            const auto crop = *faceCropRect({0.4, 0.25, 0.2, 0.25}, backend.detectedImages.back());
            EXPECT_EQ(print.value()->values.front(), static_cast<float>(crop.width));
            ASSERT_EQ(backend.printedLandmarks.size(), 1U);
            EXPECT_EQ(backend.printedLandmarks[0][0], cv::Point2f(500.0F - static_cast<float>(crop.x),
                                                                  400.0F - static_cast<float>(crop.y)));
        }
    }
}

TEST(FaceFeatureOfEveryFace, EachFaceIsPrintedFromItsOwnCropInOrderWithItsDetectedBox) {
    ScriptedFaceBackend backend;
    const NormalizedRect tilted{0.4, 0.25, 0.2, 0.25};
    backend.detections.push_back(std::vector{
        faceAt({0.9, 0.5, 0.1, 0.25}),
        faceAt(tilted, -0.5),
        faceAt({0.0, 0.5, 0.2, 0.25}, std::nullopt),
        // Its crop misses the image.
        faceAt({2.0, 0.5, 0.1, 0.1}),
        faceAt({std::numeric_limits<double>::quiet_NaN(), 0.5, 0.1, 0.1}),
    });
    const auto features = extractAllFaceFeatures(frame, backend);

    ASSERT_TRUE(features);
    ASSERT_EQ(features.value().size(), 3U);
    EXPECT_EQ(features.value()[0].boundingBox, (NormalizedRect{0.9, 0.5, 0.1, 0.25}));
    EXPECT_EQ(features.value()[0].print.values.front(), 120.0F);
    // The tilted face's crop (280 x 280) is turned on its own; its box is
    // the one detected.
    EXPECT_EQ(features.value()[1].boundingBox, tilted);
    EXPECT_EQ(backend.printedImages[1], rotateImage(cv::Mat(280, 280, CV_8UC3), 0.5).image.size());
    EXPECT_EQ(features.value()[2].print.values.front(), 240.0F);
    EXPECT_EQ(backend.detectedImages.size(), 1U);

    // A face whose print fails is left out; the others stay.
    ScriptedFaceBackend failing;
    failing.failingWidth = 120;
    failing.detections.push_back(std::vector{faceAt({0.9, 0.5, 0.1, 0.25}), faceAt({0.4, 0.25, 0.2, 0.25})});
    const auto rest = extractAllFaceFeatures(frame, failing);
    ASSERT_TRUE(rest);
    ASSERT_EQ(rest.value().size(), 1U);
    EXPECT_EQ(rest.value()[0].boundingBox, (NormalizedRect{0.4, 0.25, 0.2, 0.25}));
}

TEST(FaceAnalyses, AFailedDetectionFailsEachAnalysisAndNoFaceIsNoError) {
    const auto failure = visionServiceError(500, "The face landmark model could not be loaded");
    ScriptedFaceBackend backend;
    backend.detections = {failure, failure, failure, std::vector<DetectedFace>{}, std::vector<DetectedFace>{},
                          std::vector<DetectedFace>{}};
    std::ostringstream console;
    EXPECT_EQ(detectFaces(frame, backend).error().description, failure.description);
    EXPECT_EQ(generateFaceFeature(frame, backend, console).error().description, failure.description);
    EXPECT_EQ(extractAllFaceFeatures(frame, backend).error().description, failure.description);
    EXPECT_TRUE(detectFaces(frame, backend).value().empty());
    EXPECT_FALSE(generateFaceFeature(frame, backend, console).value());
    EXPECT_TRUE(extractAllFaceFeatures(frame, backend).value().empty());
    EXPECT_EQ(console.str(), "");

    // A print model that cannot be loaded fails the faces it would print,
    // not an image without faces.
    backend.unavailable = visionServiceError(500, "The network \"faceres\" could not be loaded");
    backend.detections = {std::vector<DetectedFace>{}, std::vector{faceAt({0.4, 0.4, 0.2, 0.25})}};
    EXPECT_TRUE(extractAllFaceFeatures(frame, backend).value().empty());
    EXPECT_EQ(extractAllFaceFeatures(frame, backend).error().description, backend.unavailable->description);
}

}  // namespace
}  // namespace lumenary::platform::vision
