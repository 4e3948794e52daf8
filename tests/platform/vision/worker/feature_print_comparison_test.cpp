#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/vision/vision_observations.hpp"
#include "platform/vision/worker/feature_print_hash.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

FeaturePrint printOfFile(const std::string& path) {
    const auto image = loadImage(path, featurePrintSourceSide);
    if (!image) {
        throw std::runtime_error(image.error().description);
    }
    return featurePrintHash(image.value());
}

// Near-duplicates stay within the thresholds the comparison names; an
// unrelated image does not.
TEST(FeaturePrintComparison, CopiesStayCloseAndAnotherImageIsFarApart) {
    lumenary::testing::TemporaryDirectory folder;
    const cv::Mat original = vision_test::photoLikeImage({640, 480}, 1);
    cv::Mat half, brighter;
    cv::resize(original, half, {320, 240}, 0, 0, cv::INTER_AREA);
    original.convertTo(brighter, -1, 1.0, 40.0);
    const FeaturePrint reference = printOfFile(vision_test::writtenImage(folder.path() / "original.png", original));

    struct Case {
        std::string name;
        std::string path;
        float lowest;
        float highest;
    };
    const std::vector<Case> cases = {
        {"the same file", folder.path() / "original.png", 0, 0},
        {"JPEG at quality 40",
         vision_test::writtenBytes(folder.path() / "q40.jpg", vision_test::jpegBytes(original, 40)), 0, 5},
        {"half the size", vision_test::writtenImage(folder.path() / "half.png", half), 0, 10},
        {"40 brighter", vision_test::writtenImage(folder.path() / "brighter.png", brighter), 0, 7},
        {"another image",
         vision_test::writtenImage(folder.path() / "other.png", vision_test::photoLikeImage({640, 480}, 2)), 15, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const float distance = featurePrintDistance(reference, printOfFile(c.path));
        EXPECT_GE(distance, c.lowest);
        EXPECT_LE(distance, c.highest);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
