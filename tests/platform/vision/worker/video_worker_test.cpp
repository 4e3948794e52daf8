#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/test_videos.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/temporary_directory.hpp"

// Videos through the real worker program (lumenary-vision beside this test
// program) behind the analyzer the server uses.
namespace lumenary::platform::vision {
namespace {

TEST(VideoWorker, FramesComeWithTheirTextUpToTheEndOfTheStream) {
    lumenary::testing::TemporaryDirectory folder;
    vision_test::VideoRecipe recipe;
    recipe.frameCount = 60;
    recipe.picture = [](int index, cv::Size size) {
        const auto words = vision_test::renderedText({index < 30 ? "OPEN" : "CLOSED"}, vision_test::dejaVuSans(), 40);
        return vision_test::placedOnCanvas(words, size, {20, 80});
    };
    const auto video = vision_test::writtenVideo(folder.path() / "sign.mp4", recipe);
    const auto analyzer = makeWorkerVisionAnalyzer();

    const auto info = analyzer->videoInfo(video);
    ASSERT_TRUE(info) << info.error().description;
    EXPECT_DOUBLE_EQ(info.value().durationSeconds, 2.0);

    // More than the worker analyses in one conversation, back and forth,
    // then past the end.
    VideoFrameRequest request;
    request.times = {0.5, 1.5, 0.6, 1.6, 0.7, 1.7, 2.5, 3.0};
    request.text = true;
    const auto batch = analyzer->videoFrames(video, request);
    ASSERT_TRUE(batch) << batch.error().description;
    EXPECT_TRUE(batch.value().endOfStream);
    ASSERT_EQ(batch.value().frames.size(), 6u);
    for (std::size_t index = 0; index < 6; ++index) {
        const std::string expected = index % 2 == 0 ? "OPEN" : "CLOSED";
        const auto& frame = batch.value().frames[index];
        ASSERT_TRUE(frame) << frame.error().description;
        EXPECT_DOUBLE_EQ(frame.value().timestamp, request.times[index]);
        ASSERT_TRUE(frame.value().text && frame.value().text->size() == 1);
        ASSERT_TRUE(frame.value().text->front().topCandidate);
        EXPECT_EQ(frame.value().text->front().topCandidate->text, expected);
        EXPECT_FALSE(frame.value().faces);
    }

    const auto missing = analyzer->videoFrames("/no/such.mp4", request);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, 404);
    EXPECT_EQ(missing.error().description, "Video file not found at path: /no/such.mp4");
}

// Eleven times on two workers go out as four conversations of at most three,
// answered in whatever order the workers finish.
TEST(VideoWorker, AnalysedFramesSharedOverWorkersComeBackInRequestOrderUpToTheEnd) {
    lumenary::testing::TemporaryDirectory folder;
    vision_test::VideoRecipe recipe;
    recipe.frameCount = 60;
    const auto video = vision_test::writtenVideo(folder.path() / "counted.mp4", recipe);
    VisionWorkerSettings settings;
    settings.executable =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "lumenary-vision").string();
    settings.workerCount = 2;
    const auto analyzer = makeWorkerVisionAnalyzer(settings);

    // Halfway between two frames, so each must give the earlier one.
    const auto between = [](int frame) { return (frame + 0.5) / 30; };
    const std::vector<int> shown = {45, 3, 30, 12, 57, 21, 9, 50, 6, 27, 40};
    VideoFrameRequest request;
    request.faces = true;
    for (const int frame : shown) {
        request.times.push_back(between(frame));
    }
    const auto whole = analyzer->videoFrames(video, request);
    ASSERT_TRUE(whole) << whole.error().description;
    EXPECT_FALSE(whole.value().endOfStream);
    ASSERT_EQ(whole.value().frames.size(), shown.size());
    for (std::size_t index = 0; index < shown.size(); ++index) {
        const auto& frame = whole.value().frames[index];
        ASSERT_TRUE(frame) << frame.error().description;
        EXPECT_NEAR(frame.value().timestamp, shown[index] / 30.0, 1e-6) << "time " << index;
        EXPECT_TRUE(frame.value().faces);
    }

    // Past the end in the third conversation: the fourth's frames, though
    // they exist, come after the end and are not reported.
    request.times[7] = 3.0;
    const auto ended = analyzer->videoFrames(video, request);
    ASSERT_TRUE(ended) << ended.error().description;
    EXPECT_TRUE(ended.value().endOfStream);
    ASSERT_EQ(ended.value().frames.size(), 7u);
    for (std::size_t index = 0; index < 7; ++index) {
        const auto& frame = ended.value().frames[index];
        ASSERT_TRUE(frame) << frame.error().description;
        EXPECT_NEAR(frame.value().timestamp, shown[index] / 30.0, 1e-6) << "time " << index;
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
