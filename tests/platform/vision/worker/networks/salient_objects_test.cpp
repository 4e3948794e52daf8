#include <gtest/gtest.h>

#include "platform/vision/worker/networks/packaged_photos.hpp"
#include "platform/vision/worker/salient_objects.hpp"

// Saliency on packaged photos lands where a person would point.
namespace lumenary::platform::vision {
namespace {

using vision_test::PackagedPhoto;

// `box` in pixels (origin top left) of an image of `size`.
cv::Rect2d pixelsOf(const NormalizedRect& box, cv::Size size) {
    return {box.x * size.width, (1.0 - box.y - box.height) * size.height, box.width * size.width,
            box.height * size.height};
}

double intersectionOverUnion(const cv::Rect2d& first, const cv::Rect2d& second) {
    const double shared = (first & second).area();
    return shared / (first.area() + second.area() - shared);
}

// Whether `region` lies on `subject`: a part of it (centred in it and
// mostly inside) or the whole of it.
bool liesOn(const cv::Rect2d& region, const cv::Rect2d& subject) {
    const cv::Point2d centre(region.x + region.width / 2, region.y + region.height / 2);
    return (subject.contains(centre) && (region & subject).area() >= 0.8 * region.area()) ||
           intersectionOverUnion(region, subject) >= 0.5;
}

TEST(SalientObjects, LieOnTheSubjectsAPersonWouldBox) {
    struct Case {
        const PackagedPhoto* photo;
        // The part of the photo looked at; empty for all of it.
        cv::Rect part;
        SaliencyKind kind;
        // Boxed by hand (pixels, origin top left). Objectness must give a
        // region on each (overlapping it by half); attention one region
        // lying on one of them.
        std::vector<cv::Rect> subjects;
    };
    const std::vector<Case> cases = {
        // The cat's head, filling the frame, and edge to edge.
        {&vision_test::chelseaTheCat, {}, SaliencyKind::attention, {{15, 0, 390, 300}}},
        {&vision_test::chelseaTheCat, {60, 0, 300, 300}, SaliencyKind::attention, {{0, 0, 300, 300}}},
        // Her face, or her; her face filling the frame.
        {&vision_test::astronaut, {}, SaliencyKind::attention, {{175, 55, 100, 110}, {20, 15, 345, 497}}},
        {&vision_test::astronaut, {150, 30, 150, 160}, SaliencyKind::objectness, {{25, 25, 100, 110}}},
        // The dog, the bicycle.
        {&vision_test::dogWithBicycle, {}, SaliencyKind::objectness, {{130, 220, 175, 320}, {125, 135, 445, 285}}},
        {&vision_test::dogWithBicycle, {}, SaliencyKind::attention, {{130, 220, 175, 320}}},
        // A rocket on its pad at dusk, no subject the detectors know: the
        // rocket, with or without its pad, and not the bright street lamp of
        // a hundredth of the frame beside it.
        {&vision_test::rocketOnItsPad, {}, SaliencyKind::attention, {{300, 125, 45, 285}, {265, 125, 130, 302}}},
    };
    for (const auto& testCase : cases) {
        const bool attention = testCase.kind == SaliencyKind::attention;
        SCOPED_TRACE(::testing::Message() << testCase.photo->path.string() << " " << testCase.part
                                          << (attention ? " attention" : " objectness"));
        LUMENARY_PACKAGED_PHOTO(photo, *testCase.photo);
        const cv::Mat image = testCase.part.empty() ? photo : photo(testCase.part);
        const auto regions = salientObjects(image, testCase.kind);
        ASSERT_TRUE(regions) << regions.error().description;
        ASSERT_FALSE(regions.value().empty());
        if (attention) {
            ASSERT_EQ(regions.value().size(), 1u);
        }
        EXPECT_LE(regions.value().size(), salientObjectsLimit);
        std::vector<bool> found(testCase.subjects.size(), false);
        for (const auto& region : regions.value()) {
            EXPECT_GT(region.confidence, 0.0f);
            EXPECT_LE(region.confidence, 1.0f);
            const auto box = pixelsOf(region.boundingBox, image.size());
            // Neither the whole frame nor a speck.
            EXPECT_LT(box.area(), 0.9 * image.size().area()) << box;
            EXPECT_GT(box.area(), 0.01 * image.size().area()) << box;
            for (std::size_t index = 0; index < found.size(); ++index) {
                const cv::Rect2d subject(testCase.subjects[index]);
                found[index] = found[index] ||
                               (attention ? liesOn(box, subject) : intersectionOverUnion(box, subject) >= 0.5);
            }
        }
        if (attention) {
            EXPECT_NE(std::count(found.begin(), found.end(), true), 0) << pixelsOf(regions.value()[0].boundingBox,
                                                                                    image.size());
        } else {
            EXPECT_EQ(std::count(found.begin(), found.end(), true), static_cast<long>(found.size()));
        }
    }
}

TEST(SalientObjects, OfADrawingAreTheShapesNotTheSpecks) {
    if (const auto missing = vision_test::missingNetworks()) {
        GTEST_SKIP() << *missing;
    }
    // A block and a speck of a third of a percent on a textured wall, which
    // no detector knows.
    cv::Mat image(600, 800, CV_8UC3);
    cv::RNG(7).fill(image, cv::RNG::UNIFORM, cv::Scalar::all(118), cv::Scalar::all(138));
    const cv::Rect block(480, 300, 220, 170);
    cv::rectangle(image, block, cv::Scalar(60, 80, 190), cv::FILLED);
    cv::rectangle(image, cv::Rect(150, 120, 40, 40), cv::Scalar(230, 20, 20), cv::FILLED);
    for (const auto kind : {SaliencyKind::objectness, SaliencyKind::attention}) {
        SCOPED_TRACE(kind == SaliencyKind::attention ? "attention" : "objectness");
        const auto regions = salientObjects(image, kind);
        ASSERT_TRUE(regions) << regions.error().description;
        ASSERT_EQ(regions.value().size(), 1u);
        EXPECT_GE(intersectionOverUnion(pixelsOf(regions.value()[0].boundingBox, image.size()), block), 0.8);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
