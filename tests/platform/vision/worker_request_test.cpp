#include "platform/vision/worker_request.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumenary::platform::vision {
namespace {

std::string imageRequest(VisionWorkerRequest::Analysis analysis, std::vector<std::string> paths) {
    VisionWorkerRequest request;
    request.analysis = analysis;
    request.imagePaths = std::move(paths);
    return encodeVisionRequest(request);
}

std::string videoFramesRequest(std::string path) {
    VideoWorkerRequest request{VideoWorkerRequest::Kind::frames, std::move(path), {}};
    request.frames.times = {0.5};
    request.frames.faces = true;
    return encodeVideoWorkerRequest(request);
}

TEST(WorkerRequest, OneDecodeTellsAnImageRequestFromAVideoRequest) {
    enum class Kind { image, video, none };
    struct Case {
        std::string payload;
        Kind kind;
        // The first image's path or the video's.
        std::string path;
    };
    const std::vector<Case> cases = {
        {imageRequest(VisionWorkerRequest::Analysis::barcodes, {"/a.png"}), Kind::image, "/a.png"},
        {imageRequest(VisionWorkerRequest::Analysis::featurePrints, {"/b.jpg", "/c.jpg"}), Kind::image, "/b.jpg"},
        {imageRequest(VisionWorkerRequest::Analysis::featurePrints, {}), Kind::image, ""},
        {encodeVideoWorkerRequest({VideoWorkerRequest::Kind::info, "/v.mkv", {}}), Kind::video, "/v.mkv"},
        {videoFramesRequest("/w.mp4"), Kind::video, "/w.mp4"},
        {"not json", Kind::none, ""},
        {"", Kind::none, ""},
        {"[]", Kind::none, ""},
        {R"({"analysis":"barcodes"})", Kind::none, ""},
        {R"({"analysis":"walk","paths":["/a.png"]})", Kind::none, ""},
        {R"({"analysis":"videoFrames","path":"/v.mp4"})", Kind::none, ""},
        {R"({"analysis":"videoInfo","paths":["/a.png"]})", Kind::none, ""},
        {R"({"analysis":"barcodes","path":"/a.png"})", Kind::none, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        const auto decoded = decodeWorkerRequest(c.payload);
        switch (c.kind) {
            case Kind::none:
                EXPECT_FALSE(decoded);
                break;
            case Kind::image: {
                ASSERT_TRUE(decoded);
                const auto* image = std::get_if<VisionWorkerRequest>(&*decoded);
                ASSERT_NE(image, nullptr);
                EXPECT_EQ(image->imagePaths.empty() ? "" : image->imagePaths.front(), c.path);
                EXPECT_EQ(encodeVisionRequest(*image), c.payload);
                break;
            }
            case Kind::video: {
                ASSERT_TRUE(decoded);
                const auto* video = std::get_if<VideoWorkerRequest>(&*decoded);
                ASSERT_NE(video, nullptr);
                EXPECT_EQ(video->videoPath, c.path);
                EXPECT_EQ(encodeVideoWorkerRequest(*video), c.payload);
                break;
            }
        }
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
