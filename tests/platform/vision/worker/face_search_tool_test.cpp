#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>

#include <opencv2/imgproc.hpp>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "platform/vision/worker/dlib_example_photos.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/temporary_directory.hpp"

// The face search tool on real photos, through the worker program the
// server runs (three of them for a folder).
namespace lumenary::app {
namespace {

using vision_test::identityPhotos;
using vision_test::photo;

cv::Mat resized(const cv::Mat& image, int side) {
    cv::Mat result;
    cv::resize(image, result, cv::Size(side, side), 0, 0, cv::INTER_AREA);
    return result;
}

class FaceSearchTool : public ::testing::Test {
protected:
    FaceSearchTool() {
        const auto people = identityPhotos();
        auto person = people.begin();
        target = person->second.front();
        sameFaceAgain = photo(target);
        someoneElse = photo((++person)->second.front());
        aThirdPerson = photo((++person)->second.front());
    }

    std::shared_ptr<platform::vision::VisionAnalyzer> analyzer() {
        platform::vision::VisionWorkerSettings settings;
        settings.executable =
            (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "lumenary-vision").string();
        settings.workerCount = 3;
        return platform::vision::makeWorkerVisionAnalyzer(settings);
    }

    mcp::Value search(const std::string& searchPath) {
        VisionToolHandler vision{std::make_shared<VisionService>(analyzer())};
        const auto text = testing::categoryCallText(
            vision, "vision_search_face", {{"target_face_path", target.string()}, {"search_path", searchPath}});
        try {
            return mcp::parseJSON(text);
        } catch (const std::exception&) {
            ADD_FAILURE() << text;
            return {};
        }
    }

    // The target's photo shrunk beside two other people on a 640 x 480
    // grey frame; the target's copy at `targetPlace`.
    cv::Mat groupPhoto(cv::Rect targetPlace) {
        cv::Mat group(480, 640, CV_8UC3, cv::Scalar::all(120));
        resized(sameFaceAgain, targetPlace.width).copyTo(group(targetPlace));
        someoneElse.copyTo(group(cv::Rect(230, 40, 150, 150)));
        aThirdPerson.copyTo(group(cv::Rect(440, 260, 150, 150)));
        return group;
    }

    std::filesystem::path target;
    cv::Mat sameFaceAgain;
    cv::Mat someoneElse;
    cv::Mat aThirdPerson;
    lumenary::testing::TemporaryDirectory folder;
};

TEST_F(FaceSearchTool, FindsTheTargetAmongOtherPeopleInOneImageAndInAFolderOfMixedEntries) {
    const cv::Rect targetPlace(30, 250, 120, 120);
    const auto group = vision_test::writtenImage(folder.path() / "group.jpg", groupPhoto(targetPlace));

    const auto inImage = search(group);
    EXPECT_EQ(*inImage.find("summary"), mcp::Value(PlainDictionary{{"total_matches", 1}, {"found", true}}));
    ASSERT_EQ(inImage.find("matches")->arrayValue()->size(), 1u);
    const auto& match = inImage.find("matches")->arrayValue()->front();
    EXPECT_EQ(*match.find("filename"), mcp::Value("group.jpg"));
    // The box, lower-left origin, lies on the target's copy.
    const auto& box = *match.find("bounding_box");
    const double centreX = (*box.find("x")->doubleValue() + *box.find("width")->doubleValue() / 2) * 640;
    const double centreY = (1 - *box.find("y")->doubleValue() - *box.find("height")->doubleValue() / 2) * 480;
    EXPECT_TRUE(cv::Rect2d(targetPlace).contains(cv::Point2d(centreX, centreY))) << centreX << " " << centreY;

    const auto photos = folder.path() / "photos";
    std::filesystem::create_directory(photos);
    vision_test::writtenImage(photos / "a.JPG", resized(sameFaceAgain, 300));
    vision_test::writtenImage(photos / "b.png", groupPhoto(targetPlace));
    vision_test::writtenHeic(photos / "c.heic", sameFaceAgain);
    vision_test::writtenImage(photos / "d.png", someoneElse);
    std::ofstream(photos / "notes.txt") << "not a picture";
    std::filesystem::create_directory(photos / "x.jpg");
    ASSERT_EQ(::mkfifo((photos / "f.png").c_str(), 0600), 0);

    const auto inFolder = search(photos.string());
    EXPECT_EQ(*inFolder.find("summary"), mcp::Value(PlainDictionary{{"total_matches", 3},
                                                                    {"total_scanned", 6},
                                                                    {"total_faces_detected_in_folder", 6}}));
    std::set<std::string> names;
    double previous = 2;
    for (const auto& entry : *inFolder.find("matches")->arrayValue()) {
        names.insert(*entry.find("filename")->stringValue());
        const double similarity = *entry.find("similarity")->doubleValue();
        EXPECT_LE(similarity, previous);
        previous = similarity;
    }
    EXPECT_EQ(names, (std::set<std::string>{"a.JPG", "b.png", "c.heic"}));
}

}  // namespace
}  // namespace lumenary::app
