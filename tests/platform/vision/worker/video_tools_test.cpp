#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include <opencv2/imgproc.hpp>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "platform/vision/worker/dlib_example_photos.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/test_videos.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/temporary_directory.hpp"

// The video tools on videos of real photos and drawn text, through the
// worker program the server runs.
namespace lumenary::app {
namespace {

double numberOf(const mcp::Value* value) {
    if (value == nullptr) return NAN;
    return value->intValue() ? static_cast<double>(*value->intValue()) : value->doubleValue().value_or(NAN);
}

class VideoTools : public ::testing::Test {
protected:
    VideoTools() {
        const auto people = vision_test::identityPhotos();
        auto person = people.begin();
        target = person->second.front();
        sameFace = vision_test::photo(target);
        someoneElse = vision_test::photo((++person)->second.front());
    }

    mcp::Value call(const std::string& name, PlainDictionary arguments) {
        const auto text = testing::categoryCallText(vision, name, std::move(arguments));
        try {
            return mcp::parseJSON(text);
        } catch (const std::exception&) {
            ADD_FAILURE() << text;
            return {};
        }
    }

    // 60 frames just larger than `face` (150 px), which they show in frames
    // `first` to `last`, grey elsewhere: every frame of the search is
    // analysed, and the detector's work grows with the frame.
    std::string videoShowing(const std::string& name, const cv::Mat& face, int first, int last) {
        vision_test::VideoRecipe recipe;
        recipe.frameCount = 60;
        recipe.size = {176, 176};
        recipe.picture = [&face, first, last](int index, cv::Size size) {
            cv::Mat frame(size, CV_8UC3, cv::Scalar::all(120));
            if (index >= first && index <= last) {
                face.copyTo(frame(cv::Rect(13, 13, face.cols, face.rows)));
            }
            return frame;
        };
        return vision_test::writtenVideo(folder.path() / name, recipe);
    }

    std::filesystem::path target;
    cv::Mat sameFace;
    cv::Mat someoneElse;
    lumenary::testing::TemporaryDirectory folder;
    VisionToolHandler vision{std::make_shared<VisionService>(platform::vision::makeWorkerVisionAnalyzer())};
};

TEST_F(VideoTools, TheFaceSearchFindsTheTargetInTheFramesThatShowItAndNobodyElse) {
    const auto withTarget = videoShowing("target.mp4", sameFace, 30, 59);
    const auto answer = call("vision_search_face", {{"target_face_path", target.string()},
                                                    {"search_path", withTarget},
                                                    {"sample_interval", 1}});
    const auto* summary = answer.find("summary");
    ASSERT_TRUE(summary);
    EXPECT_EQ(*answer.find("search_type"), mcp::Value("video"));
    EXPECT_EQ(*summary->find("total_matches"), mcp::Value(30));
    EXPECT_EQ(numberOf(summary->find("first_appearance")), 1.0);
    EXPECT_NEAR(numberOf(summary->find("last_appearance")), 59 / 30.0, 1e-9);
    EXPECT_NEAR(numberOf(summary->find("video_duration")), 2.0, 1e-9);

    const auto withSomeoneElse = videoShowing("other.mp4", someoneElse, 0, 59);
    const auto other = call("vision_search_face", {{"target_face_path", target.string()},
                                                   {"search_path", withSomeoneElse},
                                                   {"sample_interval", 10}});
    ASSERT_TRUE(other.find("summary"));
    EXPECT_EQ(*other.find("summary")->find("total_matches"), mcp::Value(0));
    EXPECT_FALSE(other.find("summary")->find("first_appearance"));
}

TEST_F(VideoTools, TheVideoAnalysisReadsTheTextAndFindsTheFaceOfEachSampledFrame) {
    vision_test::VideoRecipe recipe;
    recipe.frameCount = 60;
    recipe.size = {640, 240};
    const cv::Mat words = vision_test::renderedText({"EXIT"}, vision_test::dejaVuSans(), 40);
    recipe.picture = [this, &words](int, cv::Size size) {
        cv::Mat frame(size, CV_8UC3, cv::Scalar::all(255));
        sameFace.copyTo(frame(cv::Rect(20, 45, sameFace.cols, sameFace.rows)));
        words.copyTo(frame(cv::Rect(220, 20, words.cols, words.rows)));
        return frame;
    };
    const auto video = vision_test::writtenVideo(folder.path() / "sign.mkv", (recipe.container = "matroska", recipe));

    const auto answer = call("vision_analyze_video", {{"video_path", video},
                                                      {"features", PlainList{"faces", "text"}},
                                                      {"sample_interval", 1}});
    ASSERT_EQ(numberOf(answer.find("frames_analyzed")), 2) << mcp::writeJSON(answer);
    for (const auto& frame : *answer.find("results")->arrayValue()) {
        EXPECT_EQ(*frame.find("text")->find("full_text"), mcp::Value("EXIT"));
        ASSERT_EQ(*frame.find("faces")->find("face_count"), mcp::Value(1));
        // The box, lower-left origin, lies on the photo.
        const auto& box = *frame.find("faces")->find("faces")->arrayValue()->front().find("bounding_box");
        const double centreX = (numberOf(box.find("x")) + numberOf(box.find("width")) / 2) * 640;
        const double centreY = (1 - numberOf(box.find("y")) - numberOf(box.find("height")) / 2) * 240;
        EXPECT_TRUE(cv::Rect2d(20, 45, 150, 150).contains(cv::Point2d(centreX, centreY)))
            << centreX << " " << centreY;
    }
    EXPECT_EQ(numberOf(answer.find("results")->arrayValue()->at(1).find("timestamp")), 1.0);
}

TEST_F(VideoTools, HandPoseFindsBothHandsOfThePhotoAndOfEachSampledFrameOfAVideoOfIt) {
    const std::filesystem::path photoPath = "/usr/share/doc/libdlib19.1/examples/faces/2009_004587.jpg";
    const auto networks = platform::vision::visionNetworksFolder();
    if (!std::filesystem::exists(photoPath) ||
        !std::filesystem::exists(networks / (platform::vision::handLandmarkNetwork.name + ".json"))) {
        GTEST_SKIP() << "Needs " << photoPath << " (libdlib19.1's examples) and the hand networks in " << networks
                     << " (scripts/setup fetches them)";
    }
    const auto image = call("vision_detect_hand_pose", {{"image_path", photoPath.string()}});
    EXPECT_EQ(*image.find("count"), mcp::Value(2)) << mcp::writeJSON(image);

    vision_test::VideoRecipe recipe;
    recipe.frameCount = 45;
    recipe.size = {400, 500};
    const cv::Mat photo = vision_test::photo(photoPath);
    recipe.picture = [&photo](int, cv::Size) { return photo.clone(); };
    const auto video = vision_test::writtenVideo(folder.path() / "hands.mp4", recipe);
    const auto answer = call("vision_analyze_video", {{"video_path", video},
                                                      {"features", PlainList{"hand_pose"}},
                                                      {"sample_interval", 1}});
    ASSERT_EQ(numberOf(answer.find("frames_analyzed")), 2) << mcp::writeJSON(answer);
    for (const auto& frame : *answer.find("results")->arrayValue()) {
        EXPECT_EQ(*frame.find("hand_pose")->find("count"), mcp::Value(2)) << mcp::writeJSON(frame);
    }
}

TEST_F(VideoTools, OnePersonInTheFramesOfAVideoGivesOneFaceAndNoneOnTheBadgeOnHerChest) {
    // A portrait with a name patch on the jacket, letterboxed as a 4:3 video
    // shows it: the detector takes the patch for a small face at a low score.
    const std::filesystem::path photoPath = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";
    if (!std::filesystem::exists(photoPath)) {
        GTEST_SKIP() << "Needs " << photoPath << " (python3-skimage's sample data)";
    }
    const cv::Mat portrait = vision_test::photo(photoPath);
    vision_test::VideoRecipe recipe;
    recipe.frameCount = 60;
    recipe.size = {640, 480};
    recipe.picture = [&portrait](int, cv::Size size) {
        cv::Mat frame(size, CV_8UC3, cv::Scalar::all(0));
        const double scale = std::min(static_cast<double>(size.width) / portrait.cols,
                                      static_cast<double>(size.height) / portrait.rows);
        cv::Mat scaled;
        cv::resize(portrait, scaled, {}, scale, scale, cv::INTER_AREA);
        scaled.copyTo(frame(cv::Rect((size.width - scaled.cols) / 2, (size.height - scaled.rows) / 2, scaled.cols,
                                     scaled.rows)));
        return frame;
    };
    const auto video = vision_test::writtenVideo(folder.path() / "astronaut.mp4", recipe);

    const auto answer = call("vision_analyze_video", {{"video_path", video},
                                                      {"features", PlainList{"faces"}},
                                                      {"sample_interval", 1}});
    ASSERT_EQ(numberOf(answer.find("frames_analyzed")), 2) << mcp::writeJSON(answer);
    for (const auto& frame : *answer.find("results")->arrayValue()) {
        ASSERT_EQ(*frame.find("faces")->find("face_count"), mcp::Value(1)) << mcp::writeJSON(frame);
        // Her face, in the upper half of the frame (lower-left origin).
        const auto& box = *frame.find("faces")->find("faces")->arrayValue()->front().find("bounding_box");
        EXPECT_GT(numberOf(box.find("y")), 0.5) << mcp::writeJSON(box);
    }
}

}  // namespace
}  // namespace lumenary::app
