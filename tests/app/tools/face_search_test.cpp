#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/face_search_results.hpp"
#include "app/tools/vision/face_search_type.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "support/fake_vision_analyzer.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

using namespace platform::vision;
using testing::categoryCallText;

const FaceFeaturePrint target{{1.0F, 0.0F}};

// A print whose similarity to `target` is `similarity` to float precision,
// and never above it: a similarity of 0 must not come out a hair above.
FaceFeaturePrint printAt(double similarity) {
    auto cosine = static_cast<float>(1.0 - (1.0 - similarity) * faceFeatureDistanceScale);
    const auto made = [&cosine] { return FaceFeaturePrint{{cosine, std::sqrt(1.0F - cosine * cosine)}}; };
    while (1.0 - *faceFeatureDistance(made(), target) > similarity) {
        cosine = std::nextafter(cosine, -1.0F);
    }
    return made();
}

FaceFeature faceAt(double similarity, NormalizedRect box = {0.25, 0.5, 0.125, 0.25}) {
    return {printAt(similarity), box};
}

double similarityOf(double similarity) {
    return *faceSimilarity(printAt(similarity), target);
}

void touch(const std::filesystem::path& path) {
    std::ofstream(path) << "x";
}

class FaceSearchTest : public ::testing::Test {
protected:
    FaceSearchTest() { analyzer->setFaceFeaturePrint(target); }

    std::string search(PlainDictionary extra) {
        PlainDictionary arguments{{"target_face_path", "/me.png"}};
        for (auto& [key, value] : extra) {
            arguments.insert_or_assign(key, std::move(value));
        }
        return categoryCallText(vision, "vision_search_face", std::move(arguments));
    }
    static mcp::Value parsed(const std::string& text) { return mcp::parseJSON(text); }

    lumenary::testing::TemporaryDirectory folder;
    std::shared_ptr<lumenary::testing::FakeVisionAnalyzer> analyzer =
        std::make_shared<lumenary::testing::FakeVisionAnalyzer>();
    VisionToolHandler vision{std::make_shared<VisionService>(analyzer)};
};

TEST_F(FaceSearchTest, TheSearchTypeIsTheRequestedOneElseAFolderForADirectoryElseAVideoByExtensionElseAnImage) {
    std::filesystem::create_directory(folder.path() / "clips.mp4");
    touch(folder.path() / "movie.webm");
    struct Case {
        std::string path;
        std::optional<std::string> requested;
        std::string type;
    };
    const std::vector<Case> cases = {
        {(folder.path() / "clips.mp4").string(), std::nullopt, "folder"},
        {folder.path().string() + "/", std::nullopt, "folder"},
        {(folder.path() / "movie.webm").string(), std::nullopt, "video"},
        {"/no/such/holiday.MKV", std::nullopt, "video"},
        {"/no/such/holiday.3Gp", std::nullopt, "video"},
        {"/no/such/holiday", std::nullopt, "image"},
        {"/no/such/holiday.gif", std::nullopt, "image"},
        {folder.path().string(), "Video", "Video"},
        {"/no/such/holiday.mkv", "image", "image"},
    };
    for (const auto& [path, requested, type] : cases) {
        EXPECT_EQ(detectSearchType(path, requested), type) << path;
    }
}

TEST_F(FaceSearchTest, ATargetWithoutAFaceIsRefusedBeforeTheSearchTypeAndAnUnknownTypeAfterIt) {
    struct Case {
        std::optional<FaceFeaturePrint> targetPrint;
        PlainDictionary arguments;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {std::nullopt, {{"search_path", "/p"}, {"search_type", "videos"}}, "VisionService 404 No face detected in target image"},
        {std::nullopt, {{"search_path", "/p.jpg"}}, "VisionService 404 No face detected in target image"},
        {target, {{"search_path", "/p"}, {"search_type", "videos"}}, "VisionService 400 Invalid search type"},
        {target, {{"search_path", "/p"}, {"search_type", "Video"}}, "VisionService 400 Invalid search type"},
        {target, {{"search_path", "/p.MOV"}},
         "{\n  \"matches\": [],\n  \"search_type\": \"video\",\n  \"summary\": {\n    \"total_matches\": 0,\n"
         "    \"video_duration\": 0.0\n  },\n  \"video_path\": \"\\/p.MOV\"\n}"},
    };
    for (const auto& [targetPrint, arguments, answer] : cases) {
        analyzer->setFaceFeaturePrint(targetPrint);
        EXPECT_EQ(search(arguments), answer);
    }
    for (const auto& made : analyzer->calls()) {
        EXPECT_TRUE(made == "faceFeaturePrint /me.png" || made == "videoInfo /p.MOV") << made;
    }

    analyzer->failWith(visionServiceError(404, "Image file not found at path: /me.png"));
    EXPECT_EQ(search({{"search_path", "/p"}, {"search_type", "videos"}}),
              "VisionService 404 Image file not found at path: /me.png");
}

TEST_F(FaceSearchTest, AnImageSearchListsEveryFaceAtTheThresholdOrAboveInFaceOrderWithItsBox) {
    analyzer->setFaceFeaturesOf("/photos/party.jpg", std::vector{faceAt(0.7, {0.5, 0.25, 0.125, 0.25}), faceAt(0.5),
                                                                 faceAt(0.9, {0, 0, 1, 1})});
    const auto answer = parsed(search({{"search_path", "/photos/party.jpg"}}));

    EXPECT_EQ(*answer.find("search_type"), mcp::Value("image"));
    EXPECT_EQ(*answer.find("image_path"), mcp::Value("/photos/party.jpg"));
    const auto& matches = *answer.find("matches")->arrayValue();
    ASSERT_EQ(matches.size(), 2U);
    EXPECT_EQ(*matches[0].find("filename"), mcp::Value("party.jpg"));
    EXPECT_EQ(matches[0].find("similarity")->doubleValue(), similarityOf(0.7));
    EXPECT_EQ(*matches[0].find("bounding_box"),
              mcp::Value(PlainDictionary{{"x", 0.5}, {"y", 0.25}, {"width", 0.125}, {"height", 0.25}}));
    EXPECT_EQ(matches[1].find("similarity")->doubleValue(), similarityOf(0.9));
    EXPECT_EQ(*answer.find("summary"), mcp::Value(PlainDictionary{{"total_matches", 2}, {"found", true}}));
    EXPECT_EQ(analyzer->calls().back(), "allFaceFeatures /photos/party.jpg");

    analyzer->setFaceFeaturesOf("/photos/empty.jpg", std::vector<FaceFeature>{});
    EXPECT_EQ(*parsed(search({{"search_path", "/photos/empty.jpg"}})).find("summary"),
              mcp::Value(PlainDictionary{{"total_matches", 0}, {"found", false}}));

    analyzer->setFaceFeaturesOf("/photos/odd.jpg", std::vector{faceAt(0.9), FaceFeature{{{1.0F, 2.0F, 3.0F}}, {}}});
    EXPECT_EQ(search({{"search_path", "/photos/odd.jpg"}}),
              "VisionService 500 Failed to compare the face feature prints of odd.jpg");
}

TEST(FaceSearchFolderFile, OnlyTheFirstOfTheBestFacesAboveTheThresholdAndAboveZeroIsTheFilesMatch) {
    struct Case {
        std::string name;
        platform::PlatformOutcome<std::vector<FaceFeature>> faces;
        double threshold;
        std::optional<double> best;
        std::int64_t faceCount;
    };
    const std::vector<Case> cases = {
        {"three faces", std::vector{faceAt(0.65), faceAt(0.8), faceAt(0.8)}, 0.6, similarityOf(0.8), 3},
        {"all below", std::vector{faceAt(0.5), faceAt(0.55)}, 0.6, std::nullopt, 2},
        {"no face", std::vector<FaceFeature>{}, 0.6, std::nullopt, 0},
        {"load failed", visionServiceError(400, "Failed to load image from path: /x.jpg"), 0.6, std::nullopt, 0},
        {"similarity 0 at threshold 0", std::vector{faceAt(0.0)}, 0.0, std::nullopt, 1},
        {"negative at a negative threshold", std::vector{faceAt(-0.5)}, -1.0, std::nullopt, 1},
        {"incomparable face skipped", std::vector{FaceFeature{{{1.0F, 2.0F, 3.0F}}, {}}, faceAt(0.7)}, 0.6, similarityOf(0.7), 2},
    };
    for (const auto& [name, faces, threshold, best, faceCount] : cases) {
        const auto outcome = bestFaceMatch("a.jpg", faces, target, threshold);
        EXPECT_EQ(outcome.faceCount, faceCount) << name;
        ASSERT_EQ(outcome.match.has_value(), best.has_value()) << name;
        if (best) {
            EXPECT_EQ(outcome.match->filename, "a.jpg");
            EXPECT_EQ(outcome.match->similarity, *best) << name;
        }
    }
}

TEST(FaceSearchFolderResult, MatchesComeMostSimilarFirstWhateverOrderTheFilesFinishedIn) {
    std::vector<FolderFileOutcome> outcomes = {
        {FolderFileOutcome::Match{"a.jpg", 0.7}, 1},
        {FolderFileOutcome::Match{"b.jpg", 0.9}, 2},
        {std::nullopt, 4},
        {FolderFileOutcome::Match{"c.jpg", 0.8}, 1},
    };
    std::sort(outcomes.begin(), outcomes.end(),
              [](const auto& first, const auto& second) { return first.faceCount < second.faceCount; });
    do {
        const mcp::Value result(folderFaceSearchResult("/photos", outcomes, 5));
        std::vector<std::string> order;
        for (const auto& match : *result.find("matches")->arrayValue()) {
            order.push_back(*match.find("filename")->stringValue());
            EXPECT_EQ(match.objectValue()->size(), 2U);
        }
        EXPECT_EQ(order, (std::vector<std::string>{"b.jpg", "c.jpg", "a.jpg"}));
        EXPECT_EQ(*result.find("summary"),
                  mcp::Value(PlainDictionary{
                      {"total_matches", 3}, {"total_scanned", 5}, {"total_faces_detected_in_folder", 8}}));
    } while (std::next_permutation(outcomes.begin(), outcomes.end(), [](const auto& first, const auto& second) {
        return first.faceCount < second.faceCount || (first.faceCount == second.faceCount && first.match &&
                                                      second.match && first.match->filename < second.match->filename);
    }));
}

TEST_F(FaceSearchTest, AFolderSearchReadsTheImageNamesOfTheFolderAloneAndAbsorbsEachFilesFailure) {
    touch(folder.path() / "a.JPG");
    touch(folder.path() / "b.png");
    touch(folder.path() / "c.heic");
    touch(folder.path() / "notes.txt");
    touch(folder.path() / "d.gif");
    std::filesystem::create_directory(folder.path() / "old");
    touch(folder.path() / "old" / "nested.jpg");
    std::filesystem::create_directory(folder.path() / "x.jpg");
    const auto path = [&](const char* name) { return (folder.path() / name).string(); };
    analyzer->setFaceFeaturesOf(path("a.JPG"), std::vector{faceAt(0.7), faceAt(0.2)});
    analyzer->setFaceFeaturesOf(path("b.png"), std::vector{faceAt(0.95)});
    analyzer->setFaceFeaturesOf(path("c.heic"), visionServiceError(500, "Failed to convert NSImage to CGImage"));
    analyzer->setFaceFeaturesOf(path("x.jpg"), visionServiceError(400, "Failed to load image from path: x.jpg"));

    const auto answer = parsed(search({{"search_path", folder.path().string()}}));

    EXPECT_EQ(*answer.find("search_type"), mcp::Value("folder"));
    EXPECT_EQ(*answer.find("folder_path"), mcp::Value(folder.path().string()));
    const auto& matches = *answer.find("matches")->arrayValue();
    ASSERT_EQ(matches.size(), 2U);
    EXPECT_EQ(*matches[0].find("filename"), mcp::Value("b.png"));
    EXPECT_EQ(*matches[1].find("filename"), mcp::Value("a.JPG"));
    EXPECT_EQ(*answer.find("summary"),
              mcp::Value(PlainDictionary{{"total_matches", 2}, {"total_scanned", 4}, {"total_faces_detected_in_folder", 3}}));
    auto asked = analyzer->calls();
    asked.erase(asked.begin());
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"allFaceFeatures " + path("a.JPG"), "allFaceFeatures " + path("b.png"),
                                               "allFaceFeatures " + path("c.heic"), "allFaceFeatures " + path("x.jpg")}));
}

TEST_F(FaceSearchTest, AFolderSearchFailsOnlyWhenTheFolderCannotBeListed) {
    touch(folder.path() / "me.jpg");
    std::filesystem::create_directory(folder.path() / "empty");
    struct Case {
        std::string path;
        std::string answerStart;
    };
    const std::vector<Case> cases = {
        {(folder.path() / "me.jpg").string(), "VisionService 400 Failed to list folder at path: " + (folder.path() / "me.jpg").string()},
        {(folder.path() / "gone").string(), "VisionService 404 Failed to list folder at path: " + (folder.path() / "gone").string()},
    };
    for (const auto& [path, answerStart] : cases) {
        EXPECT_TRUE(search({{"search_path", path}, {"search_type", "folder"}}).starts_with(answerStart)) << path;
    }
    EXPECT_EQ(*parsed(search({{"search_path", (folder.path() / "empty").string()}})).find("summary"),
              mcp::Value(PlainDictionary{{"total_matches", 0}, {"total_scanned", 0}, {"total_faces_detected_in_folder", 0}}));
}

}  // namespace
}  // namespace lumenary::app
