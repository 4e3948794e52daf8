#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "support/fake_vision_analyzer.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::app {
namespace {

using platform::PlatformError;
using namespace platform::vision;
using testing::categoryCallText;

class VisionToolsTest : public ::testing::Test {
protected:
    VisionToolsTest() { environment.set("HOME", "/home/tester"); }

    std::string call(std::string name, PlainDictionary arguments = {}) {
        return categoryCallText(vision, std::move(name), std::move(arguments));
    }

    lumenary::testing::ScopedEnvironment environment;
    std::shared_ptr<lumenary::testing::FakeVisionAnalyzer> analyzer =
        std::make_shared<lumenary::testing::FakeVisionAnalyzer>();
    VisionToolHandler vision{std::make_shared<VisionService>(analyzer)};
};

bool holdsKey(const PlainValue& value, const std::string& key) {
    if (const auto* members = value.objectValue()) {
        for (const auto& [name, member] : *members) {
            if (name == key || holdsKey(member, key)) return true;
        }
    }
    if (const auto* elements = value.arrayValue()) {
        for (const auto& element : *elements) {
            if (holdsKey(element, key)) return true;
        }
    }
    return false;
}

TEST_F(VisionToolsTest, CatalogueListsNineToolsWithFreshIdsAndSchemasThatRequireOnlyTheirOwnProperties) {
    const auto first = vision.tools();
    const auto second = vision.tools();
    std::vector<std::string> names;
    std::set<std::string> serverIds;
    for (std::size_t index = 0; index < first.size(); ++index) {
        const auto& tool = first[index];
        names.push_back(tool.name);
        serverIds.insert(tool.serverId);
        serverIds.insert(second.at(index).serverId);
        EXPECT_EQ(second[index].name, tool.name);
        EXPECT_EQ(tool.serverName, "Local");

        const PlainValue schema(tool.inputSchema);
        EXPECT_EQ(tool.inputSchema.size(), 3U) << tool.name;
        EXPECT_EQ(*schema.find("type"), PlainValue("object")) << tool.name;
        for (const auto& required : *schema.find("required")->arrayValue()) {
            EXPECT_NE(schema.find("properties")->find(*required.stringValue()), nullptr) << tool.name;
        }
        EXPECT_FALSE(holdsKey(schema, "default")) << tool.name;
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"vision_recognize_text", "vision_detect_barcodes", "vision_recognize_animals",
                                        "vision_detect_body_pose", "vision_detect_hand_pose", "vision_analyze_saliency",
                                        "vision_compare_images", "vision_analyze_video", "vision_search_face"}));
    EXPECT_EQ(serverIds.size(), 18U);

    const PlainValue text(first.front().inputSchema);
    EXPECT_EQ(*text.find("properties")->find("languages")->find("items"), PlainValue::object({{"type", "string"}}));
    const PlainValue video(first.at(7).inputSchema);
    EXPECT_EQ(
        *video.find("properties")->find("features")->find("items"),
        PlainValue::object(
            {{"type", "string"}, {"enum", PlainValue::array({"faces", "text", "animals", "body_pose", "hand_pose"})}}));
}

TEST_F(VisionToolsTest, ArgumentsMissingOrOfAnotherKindAreRefusedBeforeAnyAnalysis) {
    struct Case {
        std::string tool;
        PlainDictionary arguments;
        std::string refusal;
    };
    const std::string missingImage = "VisionTool 400 Missing 'image_path' argument";
    const std::string missingPaths = "VisionTool 400 Missing 'image_path_1' or 'image_path_2' argument";
    const std::string missingVideo = "VisionTool 400 Missing 'video_path' or 'features' argument";
    const std::string missingFace = "VisionTool 400 缺少 'target_face_path' 或 'search_path' 参数";
    const std::vector<Case> cases = {
        {"vision_foo", {{"image_path", "/a.png"}}, "VisionTool 404 Unknown vision tool: vision_foo"},
        // A name outside the catalogue is only found out once an image is given.
        {"vision_foo", {}, missingImage},
        {"vision_recognize_text", {{"image_path", 5}}, missingImage},
        {"vision_detect_hand_pose", {{"path", "/a.png"}}, missingImage},
        {"vision_analyze_saliency", {{"image_path", PlainValue()}, {"type", "objectness"}}, missingImage},
        {"vision_compare_images", {{"image_path_1", "/a.png"}}, missingPaths},
        {"vision_compare_images", {{"image_path_1", "/a.png"}, {"image_path_2", PlainList{}}}, missingPaths},
        {"vision_compare_images", {{"image_path", "/a.png"}}, missingPaths},
        {"vision_analyze_video", {{"video_path", "/v.mp4"}}, missingVideo},
        {"vision_analyze_video", {{"video_path", "/v.mp4"}, {"features", PlainList{"text", 3}}}, missingVideo},
        {"vision_analyze_video", {{"video_path", "/v.mp4"}, {"features", "text"}}, missingVideo},
        {"vision_analyze_video", {{"features", PlainList{}}}, missingVideo},
        {"vision_search_face", {{"target_face_path", "/f.png"}}, missingFace},
        {"vision_search_face", {{"target_face_path", 1}, {"search_path", "/photos"}}, missingFace},
        {"vision_search_face", {{"image_path", "/f.png"}}, missingFace},
    };
    for (const auto& [tool, arguments, refusal] : cases) {
        EXPECT_EQ(call(tool, arguments), refusal) << tool;
    }
    EXPECT_TRUE(analyzer->calls().empty());
}

TEST_F(VisionToolsTest, EachImageToolAsksTheAnalyzerWithItsArgumentsTakenOnlyWhenOfTheirKind) {
    struct Case {
        std::string tool;
        PlainDictionary arguments;
        std::string analyzerCall;
    };
    const std::vector<Case> cases = {
        {"vision_recognize_text", {{"image_path", "/a.png"}}, "recognizeText /a.png accurate []"},
        {"vision_recognize_text",
         {{"image_path", "/a.png"}, {"recognition_level", 5}},
         "recognizeText /a.png accurate []"},
        {"vision_recognize_text",
         {{"image_path", "/a.png"}, {"recognition_level", "fast"}},
         "recognizeText /a.png fast []"},
        {"vision_recognize_text",
         {{"image_path", "/a.png"}, {"recognition_level", "Fast"}},
         "recognizeText /a.png accurate []"},
        {"vision_recognize_text",
         {{"image_path", "/a.png"}, {"languages", "en-US"}},
         "recognizeText /a.png accurate []"},
        {"vision_recognize_text",
         {{"image_path", "/a.png"}, {"languages", PlainList{"en-US", "zh-Hans"}}},
         "recognizeText /a.png accurate [en-US,zh-Hans]"},
        {"vision_recognize_text",
         {{"image_path", "/a.png"}, {"languages", PlainList{"en-US", 1}}},
         "recognizeText /a.png accurate []"},
        {"vision_detect_barcodes", {{"image_path", "~/a.png"}}, "detectBarcodes /home/tester/a.png"},
        {"vision_detect_barcodes", {{"image_path", "~"}}, "detectBarcodes /home/tester"},
        {"vision_detect_barcodes", {{"image_path", "shots/~/a.png"}}, "detectBarcodes shots/~/a.png"},
        {"vision_recognize_animals", {{"image_path", "/cat.png"}}, "recognizeAnimals /cat.png"},
        {"vision_detect_body_pose", {{"image_path", "/people.png"}}, "detectBodyPose /people.png"},
        {"vision_detect_hand_pose", {{"image_path", "/hand.png"}}, "detectHandPose /hand.png"},
        {"vision_analyze_saliency", {{"image_path", "/a.png"}}, "analyzeSaliency /a.png attention"},
        {"vision_analyze_saliency",
         {{"image_path", "/a.png"}, {"type", "Objectness"}},
         "analyzeSaliency /a.png attention"},
        {"vision_analyze_saliency",
         {{"image_path", "/a.png"}, {"type", "objectness"}},
         "analyzeSaliency /a.png objectness"},
        {"vision_compare_images",
         {{"image_path_1", "~/one.png"}, {"image_path_2", "/two.png"}},
         "featurePrints /home/tester/one.png /two.png"},
    };
    for (const auto& [tool, arguments, analyzerCall] : cases) {
        call(tool, arguments);
        EXPECT_EQ(analyzer->calls().back(), analyzerCall) << tool;
    }
    EXPECT_EQ(analyzer->calls().size(), cases.size());
}

TEST_F(VisionToolsTest, TheAnswerIsIndentedJSONWithSortedKeysEscapedSlashesAndConfidencesAsTheirFloats) {
    analyzer->setTextObservations(
        {{.topCandidate = TextCandidate{"1/2 cup", 0.9F}, .boundingBox = {0.25, 0.5, 0.125, 0.0625}}});

    EXPECT_EQ(call("vision_recognize_text", {{"image_path", "/a.png"}}),
              "{\n"
              "  \"full_text\": \"1\\/2 cup\",\n"
              "  \"success\": true,\n"
              "  \"text_blocks\": [\n"
              "    {\n"
              "      \"bounding_box\": {\n"
              "        \"height\": 0.0625,\n"
              "        \"width\": 0.125,\n"
              "        \"x\": 0.25,\n"
              "        \"y\": 0.5\n"
              "      },\n"
              "      \"confidence\": 0.9,\n"
              "      \"text\": \"1\\/2 cup\"\n"
              "    }\n"
              "  ]\n"
              "}");
}

TEST_F(VisionToolsTest, ComparisonAnswersTheDistanceOfTheTwoPrintsAndFailsWithoutBoth) {
    analyzer->setFeaturePrints({{0b1011}, {0b0001}});
    EXPECT_EQ(call("vision_compare_images", {{"image_path_1", "/a.png"}, {"image_path_2", "/b.png"}}),
              "{\n"
              "  \"distance\": 2.0,\n"
              "  \"similarity_description\": \"Very Similar\",\n"
              "  \"success\": true\n"
              "}");

    analyzer->setFeaturePrints({{0b1011}});
    EXPECT_EQ(call("vision_compare_images", {{"image_path_1", "/a.png"}, {"image_path_2", "/b.png"}}),
              "VisionService 500 Failed to generate feature print");
}

TEST_F(VisionToolsTest, AnalyzerErrorsArePassedOnUnchanged) {
    analyzer->failWith(visionServiceError(404, "Image file not found at path: /home/tester/no/such.png"));
    EXPECT_EQ(call("vision_detect_barcodes", {{"image_path", "~/no/such.png"}}),
              "VisionService 404 Image file not found at path: /home/tester/no/such.png");
    EXPECT_EQ(call("vision_compare_images", {{"image_path_1", "/no/such.png"}, {"image_path_2", "/b.png"}}),
              "VisionService 404 Image file not found at path: /home/tester/no/such.png");

    const std::string missingNetwork =
        "The vision network nanodet could not be loaded from /cache: nanodet.json is missing; run scripts/setup to "
        "fetch the networks (or set LUMENARY_VISION_NETWORKS_DIR to a folder that holds them)";
    analyzer->failWith(visionServiceError(500, missingNetwork));
    EXPECT_EQ(call("vision_recognize_animals", {{"image_path", "/cat.png"}}), "VisionService 500 " + missingNetwork);
}

TEST_F(VisionToolsTest, ANumberJSONCannotCarryFailsThatCallAloneWithAServiceError) {
    const auto nan = std::numeric_limits<float>::quiet_NaN();
    const auto infinity = std::numeric_limits<double>::infinity();
    for (const auto& object : {SalientObject{nan, {0, 0, 1, 1}}, SalientObject{0.5F, {0, 0, infinity, 1}}}) {
        analyzer->setSaliencyObservations({{.salientObjects = std::vector{object}}});
        EXPECT_TRUE(call("vision_analyze_saliency", {{"image_path", "/a.png"}})
                        .starts_with("VisionService 500 Failed to write the analysis result: "));
    }

    analyzer->setSaliencyObservations({});
    EXPECT_EQ(call("vision_analyze_saliency", {{"image_path", "/a.png"}}),
              "{\n  \"count\": 0,\n  \"regions\": [],\n  \"success\": true\n}");
}

TEST(VisionToolArguments, VideoAndFaceSearchNumbersTakeWholeNumbersAndKeepTheirDefaultsOtherwise) {
    lumenary::testing::ScopedEnvironment environment;
    environment.set("HOME", "/home/tester");
    struct Case {
        std::optional<PlainValue> interval;
        double seconds;
    };
    for (const auto& [interval, seconds] :
         std::vector<Case>{{std::nullopt, 1.0}, {PlainValue(0.5), 0.5}, {PlainValue(2), 2.0}, {PlainValue("2"), 1.0}}) {
        PlainDictionary arguments{{"video_path", "~/v.mp4"}, {"features", PlainList{"text", "faces"}}};
        if (interval) arguments["sample_interval"] = *interval;
        const auto video = videoAnalysisArguments(arguments);
        ASSERT_TRUE(video);
        EXPECT_EQ(video->videoPath, "/home/tester/v.mp4");
        EXPECT_EQ(video->features, (std::vector<std::string>{"text", "faces"}));
        EXPECT_EQ(video->sampleInterval, seconds);
    }

    struct FaceCase {
        PlainDictionary extra;
        double threshold;
        std::int64_t frames;
        std::optional<std::string> searchType;
    };
    const std::vector<FaceCase> faceCases = {
        {{}, 0.6, 10, std::nullopt},
        {{{"similarity_threshold", 0.75}, {"sample_interval", 5}, {"search_type", "videos"}}, 0.75, 5, "videos"},
        {{{"similarity_threshold", 1}, {"sample_interval", 5.5}, {"search_type", 3}}, 1.0, 10, std::nullopt},
        {{{"similarity_threshold", 7.5}, {"sample_interval", -2}}, 7.5, -2, std::nullopt},
    };
    for (const auto& [extra, threshold, frames, searchType] : faceCases) {
        PlainDictionary arguments{{"target_face_path", "~/me.png"}, {"search_path", "~root"}};
        arguments.insert(extra.begin(), extra.end());
        const auto search = faceSearchArguments(arguments);
        ASSERT_TRUE(search);
        EXPECT_EQ(search->targetFacePath, "/home/tester/me.png");
        EXPECT_EQ(search->searchPath, "/root");
        EXPECT_EQ(search->similarityThreshold, threshold);
        EXPECT_EQ(search->sampleInterval, frames);
        EXPECT_EQ(search->searchType, searchType);
    }
}

}  // namespace
}  // namespace lumenary::app
