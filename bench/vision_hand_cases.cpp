#include "vision_hand_cases.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/hand_pose/hand_pose_pipeline.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "vision_bench_measures.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace lumenary::platform::vision;

const std::filesystem::path coupleWithHands = "/usr/share/doc/libdlib19.1/examples/faces/2009_004587.jpg";

void requireTwoHands(std::size_t count) {
    if (count != 2) {
        std::fprintf(stderr, "vision_bench: the photo gave %zu hands, not 2\n", count);
        std::exit(1);
    }
}

}  // namespace

void benchmarkHandPoseCases(int runs, const std::filesystem::path& folder, const std::string& workerProgram) {
    std::printf("\nhand pose\n");
    if (!std::filesystem::exists(coupleWithHands)) {
        std::printf("skipped: %s is missing\n", coupleWithHands.c_str());
        return;
    }
    auto palms = VisionNetworkStore::shared().network(handDetectNetwork);
    auto landmarks = VisionNetworkStore::shared().network(handLandmarkNetwork);
    if (!palms || !landmarks) {
        std::printf("skipped: %s\n", (!palms ? palms : landmarks).error().description.c_str());
        return;
    }
    const auto small = loadImage(coupleWithHands.string());
    require(small, "loading the photo with hands");
    // 2400 x 3000 in the middle of a 4000 x 3000 photo.
    cv::Mat photo = vision_test::photoLikeImage({4000, 3000}, 3);
    cv::resize(small.value(), photo(cv::Rect(800, 0, 2400, 3000)), {2400, 3000}, 0, 0, cv::INTER_CUBIC);
    const auto photoPath =
        vision_test::writtenBytes(folder / "hands.jpg", vision_test::jpegBytes(photo, 90));

    report("hand pose, 12 MP photo, two hands (after decode)", medianMilliseconds(runs, [&] {
               requireTwoHands(findHandPoses(photo, *palms.value(), *landmarks.value()).size());
           }),
           "-");
    const auto analyzer = makeWorkerVisionAnalyzer({workerProgram, std::chrono::milliseconds(60'000)});
    require(analyzer->detectHandPose(photoPath), "warming the worker's hand networks");
    report("vision_detect_hand_pose, 12 MP JPEG, two hands", medianMilliseconds(runs, [&] {
               const auto hands = analyzer->detectHandPose(photoPath);
               require(hands, "hand pose");
               requireTwoHands(hands.value().size());
           }),
           "<= 500 ms");
}

}  // namespace lumenary::vision_bench
