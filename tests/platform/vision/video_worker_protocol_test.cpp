#include "platform/vision/video_worker_protocol.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace lumenary::platform::vision {
namespace {

TEST(VideoWorkerProtocol, RequestsReadBackAsWrittenAndImageRequestsAreNotTakenForThem) {
    VideoWorkerRequest frames{VideoWorkerRequest::Kind::frames, "/tmp/ünïcode \"clip\".mp4", {}};
    frames.frames.times = {0.0, 1 / 3.0, 1e9};
    frames.frames.text = true;
    frames.frames.faceFeatures = true;
    frames.frames.bodyPose = true;
    const auto decoded = decodeVideoWorkerRequest(encodeVideoWorkerRequest(frames));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->kind, VideoWorkerRequest::Kind::frames);
    EXPECT_EQ(decoded->videoPath, frames.videoPath);
    EXPECT_EQ(decoded->frames.times, frames.frames.times);
    EXPECT_FALSE(decoded->frames.faces);
    EXPECT_TRUE(decoded->frames.text);
    EXPECT_TRUE(decoded->frames.faceFeatures);
    EXPECT_FALSE(decoded->frames.animals);
    EXPECT_TRUE(decoded->frames.bodyPose);
    EXPECT_FALSE(decoded->frames.handPose);

    const auto info = decodeVideoWorkerRequest(encodeVideoWorkerRequest({VideoWorkerRequest::Kind::info, "/v.mkv", {}}));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, VideoWorkerRequest::Kind::info);

    VisionWorkerRequest image;
    image.analysis = VisionWorkerRequest::Analysis::text;
    image.imagePaths = {"/a.png"};
    for (const std::string& payload : {encodeVisionRequest(image), std::string(R"({"analysis":"videoFrames","path":"/v.mp4"})"),
                                      std::string(R"({"analysis":"videoFrames","path":"/v.mp4","times":["0"]})"),
                                      std::string("not json")}) {
        EXPECT_FALSE(decodeVideoWorkerRequest(payload)) << payload;
    }
}

TEST(VideoWorkerProtocol, FramesWithTheirAnalysesAndFailuresReadBackExactly) {
    VideoFrame analysed;
    analysed.timestamp = 1 / 3.0;
    analysed.faces = std::vector<FaceObservation>{
        {{0.1, 0.2, 0.3, 0.4}, 0.25, std::nullopt, FaceLandmarksSummary{6, 6, std::nullopt, 12}},
        {{0, 0, 1, 1}, std::nullopt, -0.5, std::nullopt}};
    analysed.text = std::vector<TextObservation>{{TextCandidate{"EXIT", 0.1F}, {0.5, 0.5, 0.25, 0.125}}};
    analysed.faceFeatures = std::vector<FaceFeature>{{{{0.1F, 0.0F, 1e-7F}}, {0.2, 0.3, 0.1, 0.1}}};
    analysed.animals = std::vector<AnimalObservation>{{{{"Dog", 0.5F}}, {0.1, 0.1, 0.2, 0.2}}};
    analysed.bodyPoses = std::vector<PoseObservation>{{0.25F, {{"nose", NormalizedPoint{0.5, 0.5}, 0.75F}}}};
    analysed.handPoses = std::vector<PoseObservation>{};
    VideoFrame failedAnalysis;
    failedAnalysis.timestamp = 2.0;
    failedAnalysis.analysisError = visionServiceError(501, "Face search is not available on this platform");
    VideoFrameBatch batch;
    batch.frames = {analysed, visionServiceError(500, "Failed to decode the video: Invalid data"), failedAnalysis};
    batch.endOfStream = true;

    const auto decoded = decodeVideoFramesAnswer(encodeVideoFramesAnswer(batch));
    const auto* outcome = std::get_if<0>(&decoded);
    ASSERT_TRUE(outcome && *outcome);
    const auto& back = outcome->value();
    EXPECT_TRUE(back.endOfStream);
    ASSERT_EQ(back.frames.size(), 3u);
    ASSERT_TRUE(back.frames[0]);
    const auto& frame = back.frames[0].value();
    EXPECT_EQ(frame.timestamp, analysed.timestamp);
    ASSERT_TRUE(frame.faces && frame.faces->size() == 2);
    EXPECT_EQ((*frame.faces)[0].boundingBox, (*analysed.faces)[0].boundingBox);
    EXPECT_EQ((*frame.faces)[0].roll, 0.25);
    EXPECT_FALSE((*frame.faces)[0].yaw);
    ASSERT_TRUE((*frame.faces)[0].landmarks);
    EXPECT_EQ((*frame.faces)[0].landmarks->mouthPointCount, 12);
    EXPECT_FALSE((*frame.faces)[0].landmarks->nosePointCount);
    EXPECT_FALSE((*frame.faces)[1].landmarks);
    EXPECT_EQ((*frame.faces)[1].yaw, -0.5);
    ASSERT_TRUE(frame.text && frame.text->size() == 1);
    EXPECT_EQ((*frame.text)[0].topCandidate->confidence, 0.1F);
    ASSERT_TRUE(frame.faceFeatures && frame.faceFeatures->size() == 1);
    EXPECT_EQ((*frame.faceFeatures)[0].print.values, (*analysed.faceFeatures)[0].print.values);
    ASSERT_TRUE(frame.animals && frame.animals->size() == 1);
    EXPECT_EQ((*frame.animals)[0].labels[0].identifier, "Dog");
    ASSERT_TRUE(frame.bodyPoses && frame.bodyPoses->size() == 1);
    EXPECT_EQ((*frame.bodyPoses)[0].joints[0].confidence, 0.75F);
    ASSERT_TRUE(frame.handPoses);
    EXPECT_TRUE(frame.handPoses->empty());
    EXPECT_FALSE(frame.analysisError);

    ASSERT_FALSE(back.frames[1]);
    EXPECT_EQ(back.frames[1].error().description, "Failed to decode the video: Invalid data");
    ASSERT_TRUE(back.frames[2]);
    EXPECT_FALSE(back.frames[2].value().faces);
    EXPECT_FALSE(back.frames[2].value().animals);
    ASSERT_TRUE(back.frames[2].value().analysisError);
    EXPECT_EQ(back.frames[2].value().analysisError->code, 501);
}

TEST(VideoWorkerProtocol, AnUnknownDurationTravelsAndANumberJSONCannotCarryBecomesAnErrorAnswer) {
    for (const double seconds : {4.0, std::numeric_limits<double>::quiet_NaN()}) {
        const auto decoded = decodeVideoInfoAnswer(encodeVideoInfoAnswer(VideoInfo{seconds}));
        const auto* outcome = std::get_if<0>(&decoded);
        ASSERT_TRUE(outcome && *outcome);
        EXPECT_EQ(std::isnan(outcome->value().durationSeconds), std::isnan(seconds));
    }

    VideoFrame frame;
    frame.faceFeatures = std::vector<FaceFeature>{{{{std::numeric_limits<float>::infinity()}}, {}}};
    VideoFrameBatch batch;
    batch.frames = {frame};
    const auto decoded = decodeVideoFramesAnswer(encodeVideoFramesAnswer(batch));
    const auto* outcome = std::get_if<0>(&decoded);
    ASSERT_TRUE(outcome && !*outcome);
    EXPECT_EQ(outcome->error().code, 500);
}

TEST(VideoWorkerProtocol, AnswersOfTheWrongShapeAreUnreadable) {
    for (const std::string& payload :
         {std::string("{"), std::string(R"({"frames":[]})"), std::string(R"({"frames":[{"error":{}}],"endOfStream":false})"),
          std::string(R"({"frames":[{"timestamp":"0"}],"endOfStream":false})"),
          std::string(R"({"frames":[{"timestamp":0,"faces":[{"box":{}}]}],"endOfStream":false})"),
          std::string(R"({"video":{"duration":"long"}})"), std::string(R"({"observations":[]})")}) {
        SCOPED_TRACE(payload);
        const auto frames = decodeVideoFramesAnswer(payload);
        const auto info = decodeVideoInfoAnswer(payload);
        EXPECT_TRUE(std::holds_alternative<UnreadableVisionAnswer>(frames));
        EXPECT_TRUE(std::holds_alternative<UnreadableVisionAnswer>(info));
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
