#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "support/fake_vision_analyzer.hpp"

// The video tools over an analyzer double: which frames are asked for, what
// becomes of frames that fail, and the shape of the answers.
namespace lumenary::app {
namespace {

using platform::PlatformError;
using platform::PlatformOutcome;
using namespace platform::vision;
using testing::categoryCallText;

VideoFrame frameWithFaceFeatures(double time, std::vector<FaceFeature> features) {
    VideoFrame frame;
    frame.timestamp = time;
    frame.faceFeatures = std::move(features);
    return frame;
}

class VisionVideoToolsTest : public ::testing::Test {
protected:
    VisionVideoToolsTest() {
        // Every time is answered with a frame at that time unless a test
        // says otherwise; every request is kept.
        answerFrames([](const VideoFrameRequest& request) {
            VideoFrameBatch batch;
            for (const double time : request.times) {
                VideoFrame frame;
                frame.timestamp = time;
                if (request.faces) frame.faces = std::vector<FaceObservation>{};
                if (request.text) frame.text = std::vector<TextObservation>{};
                if (request.faceFeatures) frame.faceFeatures = std::vector<FaceFeature>{};
                batch.frames.emplace_back(std::move(frame));
            }
            return batch;
        });
    }

    void answerFrames(std::function<PlatformOutcome<VideoFrameBatch>(const VideoFrameRequest&)> answer) {
        analyzer->setVideoFrames([this, answer](const VideoFrameRequest& request) {
            {
                std::lock_guard lock(mutex);
                requests.push_back(request);
            }
            return answer(request);
        });
    }

    std::string analyse(PlainDictionary arguments) {
        arguments.emplace("video_path", "/v.mp4");
        return categoryCallText(vision, "vision_analyze_video", std::move(arguments));
    }

    // The face search's answer, its error as "<domain> <code> <description>".
    std::string search(double threshold, std::int64_t sampleInterval) {
        analyzer->setFaceFeaturePrint(targetPrint);
        return categoryCallText(vision, "vision_search_face",
                                {{"target_face_path", "/me.png"},
                                 {"search_path", "/v.mp4"},
                                 {"search_type", "video"},
                                 {"similarity_threshold", threshold},
                                 {"sample_interval", sampleInterval}});
    }

    std::vector<double> requestedTimes() {
        std::lock_guard lock(mutex);
        std::vector<double> times;
        for (const auto& request : requests) times.insert(times.end(), request.times.begin(), request.times.end());
        return times;
    }
    std::vector<std::size_t> batchSizes() {
        std::lock_guard lock(mutex);
        std::vector<std::size_t> sizes;
        for (const auto& request : requests) sizes.push_back(request.times.size());
        return sizes;
    }

    std::mutex mutex;
    std::vector<VideoFrameRequest> requests;
    std::vector<std::string> consoleLines;
    std::shared_ptr<lumenary::testing::FakeVisionAnalyzer> analyzer =
        std::make_shared<lumenary::testing::FakeVisionAnalyzer>();
    std::shared_ptr<VisionService> service = std::make_shared<VisionService>(
        analyzer, logging::Console("", [this](std::string line) {
            std::lock_guard lock(mutex);
            consoleLines.push_back(std::move(line));
        }));
    VisionToolHandler vision{service};
    FaceFeaturePrint targetPrint{{0.25F, 0.25F, 0.5F}};
};

// A whole number reads back from JSON as an integer.
double numberOf(const PlainValue& value) {
    return value.intValue() ? static_cast<double>(*value.intValue()) : value.doubleValue().value_or(NAN);
}

std::vector<double> timestampsOf(const std::string& answer) {
    std::vector<double> timestamps;
    const auto parsed = mcp::parseJSON(answer);
    const auto* results = parsed.find("results");
    if (results == nullptr) {
        ADD_FAILURE() << answer;
        return timestamps;
    }
    for (const auto& frame : *results->arrayValue()) {
        timestamps.push_back(numberOf(*frame.find("timestamp")));
    }
    return timestamps;
}

TEST_F(VisionVideoToolsTest, AnalysisSamplesFromZeroByTheIntervalWhileBelowTheDurationSixtyTimesAtMost) {
    struct Case {
        double duration;
        PlainValue interval;
        std::size_t frames;
        double last;
    };
    const std::vector<Case> cases = {
        {10.0, 1.0, 10, 9.0}, {0.5, 1.0, 1, 0.0},  {300.0, 1.0, 60, 59.0}, {10.0, 0.0, 60, 0.0},
        {10.0, 2, 5, 8.0},    {1.0, 0.25, 4, 0.75}, {2.0, -1.0, 60, -59.0},
    };
    for (const auto& [duration, interval, frames, last] : cases) {
        SCOPED_TRACE(mcp::writeJSON(interval) + " s in " + std::to_string(duration) + " s");
        requests.clear();
        analyzer->setVideoInfo({duration});
        const auto answer = analyse({{"features", PlainList{}}, {"sample_interval", interval}});
        const auto timestamps = timestampsOf(answer);
        ASSERT_EQ(timestamps.size(), frames) << answer;
        EXPECT_EQ(timestamps.front(), 0.0);
        EXPECT_DOUBLE_EQ(timestamps.back(), last);
        EXPECT_EQ(requestedTimes(), timestamps);
        EXPECT_EQ(*mcp::parseJSON(answer).find("frames_analyzed")->intValue(), static_cast<std::int64_t>(frames));
    }
}

TEST_F(VisionVideoToolsTest, AnalysisOfAVideoWithoutLengthAnswersNoFramesWithoutAskingForAny) {
    analyzer->setVideoInfo({0.0});
    EXPECT_EQ(analyse({{"features", PlainList{"text"}}}),
              "{\n  \"duration\": 0.0,\n  \"frames_analyzed\": 0,\n  \"results\": [],\n  \"success\": true\n}");
    EXPECT_TRUE(requests.empty());
}

TEST_F(VisionVideoToolsTest, AnalysisRunsExactlyTheFeaturesNamedEachGivingTheWholeResultOfItsImageTool) {
    analyzer->setVideoInfo({1.0});
    analyzer->setFaceObservations({{.boundingBox = {0.1, 0.2, 0.3, 0.4}, .roll = std::nullopt, .yaw = 0.5,
                                    .landmarks = FaceLandmarksSummary{6, std::nullopt, std::nullopt, std::nullopt}}});
    analyzer->setTextObservations({{.topCandidate = TextCandidate{"EXIT", 1.0F}, .boundingBox = {0, 0, 1, 1}}});
    analyzer->setAnimalObservations({{.labels = {{"Cat", 0.5F}}, .boundingBox = {0, 0, 0.5, 0.5}}});
    analyzer->setPoseObservations(
        {{.confidence = 0.75F, .joints = {{"nose", NormalizedPoint{0.5, 0.25}, 0.5F}, {"neck", {}, 0}}}});
    // The double's own frames, which carry the observations set above.
    analyzer->setVideoFrames({});

    struct Case {
        PlainList features;
        std::string frame;
    };
    const std::vector<Case> cases = {
        {{}, R"({"timestamp":0.0})"},
        {{"Faces", "TEXT", "face"}, R"({"timestamp":0.0})"},
        {{"text", "faces", "text", "landmarks"},
         R"({"faces":{"face_count":1,"faces":[{"bounding_box":{"height":0.4,"width":0.3,"x":0.1,"y":0.2},)"
         R"("landmarks_summary":{"left_eye_count":6},"roll":0,"yaw":0.5}],"success":true},)"
         R"("text":{"full_text":"EXIT","success":true,"text_blocks":[{"bounding_box":{"height":1.0,"width":1.0,)"
         R"("x":0.0,"y":0.0},"confidence":1.0,"text":"EXIT"}]},"timestamp":0.0})"},
        {{"hand_pose", "body_pose", "animals", "Animals"},
         R"({"animals":{"animals":[{"bounding_box":{"height":0.5,"width":0.5,"x":0.0,"y":0.0},)"
         R"("labels":[{"confidence":0.5,"identifier":"Cat"}]}],"count":1,"success":true},)"
         R"("body_pose":{"count":1,"poses":[{"confidence":0.75,"points":{"nose":)"
         R"({"confidence":0.5,"x":0.5,"y":0.25}}}],"success":true},)"
         R"("hand_pose":{"count":1,"hands":[{"confidence":0.75,"points":{"nose":)"
         R"({"confidence":0.5,"x":0.5,"y":0.25}}}],"success":true},"timestamp":0.0})"},
    };
    for (const auto& [features, frame] : cases) {
        SCOPED_TRACE(mcp::writeJSON(features));
        const auto answer = analyse({{"features", features}, {"sample_interval", 5.0}});
        const auto parsed = mcp::parseJSON(answer);
        const auto* results = parsed.find("results");
        ASSERT_TRUE(results) << answer;
        EXPECT_EQ(mcp::writeJSON(results->arrayValue()->at(0)), frame);
    }
}

TEST_F(VisionVideoToolsTest, AnalysisLeavesOutEachFrameThatCannotBeTakenOrAnalysedAndSaysSoOnTheConsole) {
    analyzer->setVideoInfo({10.0});
    answerFrames([](const VideoFrameRequest& request) {
        VideoFrameBatch batch;
        for (const double time : request.times) {
            if (time == 1.0) {
                batch.frames.emplace_back(visionServiceError(500, "Failed to decode the video: Invalid data"));
                continue;
            }
            VideoFrame frame;
            frame.timestamp = time;
            frame.faces = std::vector<FaceObservation>{{}};
            if (time == 2.0) {
                frame.faces.reset();
                frame.analysisError = visionServiceError(500, "The text recogniser failed");
            }
            batch.frames.emplace_back(std::move(frame));
            if (time == 3.0) {
                batch.endOfStream = true;
                break;
            }
        }
        return batch;
    });
    const auto answer = analyse({{"features", PlainList{"faces", "text"}}, {"sample_interval", 1}});
    EXPECT_EQ(timestampsOf(answer), (std::vector<double>{0.0, 3.0}));
    EXPECT_EQ(*mcp::parseJSON(answer).find("frames_analyzed")->intValue(), 2);
    std::vector<std::string> expectedLines = {"Error extracting frame at 1.0: Failed to decode the video: Invalid data",
                                              "Error extracting frame at 2.0: The text recogniser failed"};
    for (int second = 4; second < 10; ++second) {
        expectedLines.push_back("Error extracting frame at " + std::to_string(second) +
                                ".0: The video ends before this time");
    }
    EXPECT_EQ(consoleLines, expectedLines);
    EXPECT_EQ(requests.size(), 1u) << "nothing is asked for past the end of the stream";
}

TEST_F(VisionVideoToolsTest, TheAnalyzerFailingAsAWholeOrAnUnknownDurationFailsTheCall) {
    analyzer->setVideoInfo({std::numeric_limits<double>::quiet_NaN()});
    EXPECT_EQ(analyse({{"features", PlainList{}}}), "VisionService 400 The duration of the video is unknown: /v.mp4");
    EXPECT_EQ(search(0.6, 10), "VisionService 400 The duration of the video is unknown: /v.mp4");

    analyzer->setVideoInfo({10.0});
    answerFrames([](const VideoFrameRequest&) -> PlatformOutcome<VideoFrameBatch> {
        return visionServiceError(500, "The vision worker did not finish the analysis within 60 s and was stopped");
    });
    EXPECT_EQ(analyse({{"features", PlainList{"text"}}}),
              "VisionService 500 The vision worker did not finish the analysis within 60 s and was stopped");
    EXPECT_EQ(search(0.6, 10),
              "VisionService 500 The vision worker did not finish the analysis within 60 s and was stopped");

    analyzer->failWith(visionServiceError(404, "Video file not found at path: /v.mp4"));
    EXPECT_EQ(analyse({{"features", PlainList{}}}), "VisionService 404 Video file not found at path: /v.mp4");
}

TEST_F(VisionVideoToolsTest, FaceSearchAsksForEverySampledFrameAtThirtyASecondInBatchesOfTwenty) {
    struct Case {
        double duration;
        std::int64_t interval;
        std::vector<std::size_t> batches;
        double secondTime;
    };
    const std::vector<Case> cases = {
        {4.0, 10, {12}, 1 / 3.0},   {0.02, 10, {}, 0},        {1.5, 1, {20, 20, 5}, 1 / 30.0},
        {1.0, 0, {20, 10}, 1 / 30.0}, {1.0, -5, {20, 10}, 1 / 30.0}, {1.01, 15, {2}, 0.5},
    };
    for (const auto& [duration, interval, batches, secondTime] : cases) {
        SCOPED_TRACE(std::to_string(duration) + " s every " + std::to_string(interval));
        requests.clear();
        analyzer->setVideoInfo({duration});
        const auto found = mcp::parseJSON(search(0.6, interval));
        EXPECT_EQ(batchSizes(), batches);
        for (const auto& request : requests) EXPECT_TRUE(request.faceFeatures && !request.faces && !request.text);
        if (!batches.empty()) {
            EXPECT_DOUBLE_EQ(requestedTimes().at(1), secondTime);
        }
        const auto* summary = found.find("summary");
        ASSERT_TRUE(summary);
        EXPECT_EQ(numberOf(*summary->find("video_duration")), duration);
        EXPECT_EQ(*summary->find("total_matches")->intValue(), 0);
        EXPECT_FALSE(summary->find("first_appearance") || summary->find("last_appearance"));
    }
}

TEST_F(VisionVideoToolsTest, FaceSearchOverAnAbsurdClaimedDurationAsksOnlyForLaterAndLaterTimes) {
    // Steps so long that a frame number times the grid's units per frame
    // would pass the largest integer before the frame count stops them.
    analyzer->setVideoInfo({1e300});
    for (const std::int64_t interval : {std::int64_t{1} << 58, std::int64_t{3} << 57, std::int64_t{1} << 59}) {
        SCOPED_TRACE(interval);
        requests.clear();
        EXPECT_TRUE(mcp::parseJSON(search(0.6, interval)).find("matches"));
        const auto times = requestedTimes();
        ASSERT_FALSE(times.empty());
        EXPECT_EQ(times.front(), 0.0);
        for (std::size_t index = 1; index < times.size(); ++index) {
            EXPECT_GT(times[index], times[index - 1]) << "at " << index;
        }
    }
}

TEST_F(VisionVideoToolsTest, FaceSearchStopsWhereTheStreamEndsWhateverTheHeaderClaims) {
    analyzer->setVideoInfo({1e9});
    answerFrames([](const VideoFrameRequest& request) {
        VideoFrameBatch batch;
        batch.frames.emplace_back(frameWithFaceFeatures(request.times[0], {}));
        batch.endOfStream = true;
        return batch;
    });
    EXPECT_TRUE(mcp::parseJSON(search(0.6, 10)).find("matches"));
    EXPECT_EQ(batchSizes(), std::vector<std::size_t>{20});
}

TEST_F(VisionVideoToolsTest, FaceSearchMatchesEveryFaceAtTheThresholdLeavesOutFramesNotMadeAndFailsOnAnalysisErrors) {
    analyzer->setVideoInfo({2.0});
    const FaceFeature same{targetPrint, {0.1, 0.2, 0.3, 0.4}};
    const FaceFeature other{{{0.9F, 0.05F, 0.05F}}, {0.5, 0.5, 0.1, 0.1}};
    answerFrames([&](const VideoFrameRequest& request) {
        VideoFrameBatch batch;
        for (const double time : request.times) {
            const int frame = static_cast<int>(std::lround(time * 30));
            if (frame == 10) {
                batch.frames.emplace_back(visionServiceError(500, "Failed to decode the video"));
                continue;
            }
            auto faces = frame == 20 ? std::vector{same, other, same} : frame == 30 ? std::vector{other}
                         : frame == 40                                     ? std::vector{same}
                                                                           : std::vector<FaceFeature>{};
            batch.frames.emplace_back(frameWithFaceFeatures(time, std::move(faces)));
        }
        return batch;
    });
    EXPECT_EQ(mcp::writeJSON(mcp::parseJSON(search(1.0, 10))),
              R"({"matches":[)"
              R"({"bounding_box":{"height":0.4,"width":0.3,"x":0.1,"y":0.2},"similarity":1.0,"timestamp":0.6666666666666666},)"
              R"({"bounding_box":{"height":0.4,"width":0.3,"x":0.1,"y":0.2},"similarity":1.0,"timestamp":0.6666666666666666},)"
              R"({"bounding_box":{"height":0.4,"width":0.3,"x":0.1,"y":0.2},"similarity":1.0,"timestamp":1.3333333333333333}],)"
              R"("search_type":"video","summary":{"first_appearance":0.6666666666666666,)"
              R"("last_appearance":1.3333333333333333,"total_matches":3,"video_duration":2.0},"video_path":"/v.mp4"})");

    answerFrames([](const VideoFrameRequest& request) {
        VideoFrameBatch batch;
        VideoFrame frame;
        frame.timestamp = request.times[0];
        frame.analysisError = visionServiceError(500, "The face detector failed");
        batch.frames.emplace_back(std::move(frame));
        return batch;
    });
    EXPECT_EQ(search(0.6, 10), "VisionService 500 The face detector failed");

    answerFrames([](const VideoFrameRequest& request) {
        VideoFrameBatch batch;
        batch.frames.emplace_back(frameWithFaceFeatures(request.times[0], {{{{1.0F}}, {}}}));
        return batch;
    });
    EXPECT_EQ(search(0.6, 10), "VisionService 500 Failed to compare the face feature prints");
}

}  // namespace
}  // namespace lumenary::app
