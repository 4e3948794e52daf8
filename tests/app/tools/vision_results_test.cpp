#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/tools/vision/single_precision_value.hpp"
#include "app/tools/vision/vision_results.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::app {
namespace {

using namespace platform::vision;

// Boxes with values a double holds exactly, so the expected JSON can say them.
constexpr NormalizedRect boxA{0.125, 0.25, 0.5, 0.375};
constexpr NormalizedRect boxB{0.0, 0.5, 1.0, 0.5};

void expectResult(const PlainDictionary& result, const char* json) {
    EXPECT_EQ(mcp::writeJSON(PlainValue(result)), mcp::writeJSON(mcp::parseJSON(json)));
}

TEST(VisionResults, TextBlocksLeaveOutUnreadLinesAndFullTextJoinsTheRestWithLineFeeds) {
    expectResult(textRecognitionResult({}), R"({"success": true, "text_blocks": [], "full_text": ""})");
    expectResult(textRecognitionResult({{TextCandidate{"first", 0.5F}, boxA},
                                        {std::nullopt, boxB},
                                        {TextCandidate{"", 0.25F}, boxB},
                                        {TextCandidate{"third", 1.0F}, boxB}}),
                 R"({"success": true, "full_text": "first\n\nthird", "text_blocks": [
                     {"text": "first", "confidence": 0.5,
                      "bounding_box": {"x": 0.125, "y": 0.25, "width": 0.5, "height": 0.375}},
                     {"text": "", "confidence": 0.25,
                      "bounding_box": {"x": 0.0, "y": 0.5, "width": 1.0, "height": 0.5}},
                     {"text": "third", "confidence": 1.0,
                      "bounding_box": {"x": 0.0, "y": 0.5, "width": 1.0, "height": 0.5}}]})");
}

TEST(VisionResults, ListedObservationsKeepTheirOrderAndCountAndEmptyOnesGiveEmptyLists) {
    struct Case {
        PlainDictionary result;
        const char* json;
    };
    const std::vector<Case> cases = {
        {barcodeResult({}), R"({"success": true, "count": 0, "barcodes": []})"},
        {barcodeResult({{"QRCode", std::nullopt, boxA}, {"EAN-13", "4006381333931", boxB}}),
         R"({"success": true, "count": 2, "barcodes": [
             {"symbology": "QRCode", "payload": "",
              "bounding_box": {"x": 0.125, "y": 0.25, "width": 0.5, "height": 0.375}},
             {"symbology": "EAN-13", "payload": "4006381333931",
              "bounding_box": {"x": 0.0, "y": 0.5, "width": 1.0, "height": 0.5}}]})"},
        {animalResult({}), R"({"success": true, "count": 0, "animals": []})"},
        {animalResult({{{{"Dog", 0.25F}, {"Cat", 0.75F}}, boxA}}),
         R"({"success": true, "count": 1, "animals": [
             {"labels": [{"identifier": "Dog", "confidence": 0.25}, {"identifier": "Cat", "confidence": 0.75}],
              "bounding_box": {"x": 0.125, "y": 0.25, "width": 0.5, "height": 0.375}}]})"},
        {saliencyResult({}), R"({"success": true, "count": 0, "regions": []})"},
        {saliencyResult({{std::vector<SalientObject>{{0.5F, boxA}, {0.25F, boxB}}},
                         {std::nullopt},
                         {std::vector<SalientObject>{}},
                         {std::vector<SalientObject>{{1.0F, boxB}, {0.75F, boxA}, {0.125F, boxB}}}}),
         R"({"success": true, "count": 5, "regions": [
             {"confidence": 0.5, "bounding_box": {"x": 0.125, "y": 0.25, "width": 0.5, "height": 0.375}},
             {"confidence": 0.25, "bounding_box": {"x": 0.0, "y": 0.5, "width": 1.0, "height": 0.5}},
             {"confidence": 1.0, "bounding_box": {"x": 0.0, "y": 0.5, "width": 1.0, "height": 0.5}},
             {"confidence": 0.75, "bounding_box": {"x": 0.125, "y": 0.25, "width": 0.5, "height": 0.375}},
             {"confidence": 0.125, "bounding_box": {"x": 0.0, "y": 0.5, "width": 1.0, "height": 0.5}}]})"},
    };
    for (const auto& [result, json] : cases) {
        expectResult(result, json);
    }
}

TEST(VisionResults, PoseEntriesKeepOnlyLocatedJointsWithAConfidenceAboveZero) {
    const auto nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<PoseObservation> poses = {
        {0.75F,
         {{"nose", NormalizedPoint{0.5, 0.75}, 0.01F},
          {"left_eye", NormalizedPoint{0.25, 0.5}, 0.0F},
          {"right_eye", NormalizedPoint{0.25, 0.5}, nan},
          {"neck", std::nullopt, 0.5F},
          {"left_wrist", NormalizedPoint{0.0, 1.0}, 1.0F}}},
        {0.5F, {{"nose", NormalizedPoint{0.5, 0.5}, 0.0F}}},
    };
    const char* entries = R"([
        {"confidence": 0.75, "points": {
            "nose": {"x": 0.5, "y": 0.75, "confidence": 0.01},
            "left_wrist": {"x": 0.0, "y": 1.0, "confidence": 1.0}}},
        {"confidence": 0.5, "points": {}}])";
    expectResult(bodyPoseResult(poses),
                 (std::string(R"({"success": true, "count": 2, "poses": )") + entries + "}").c_str());
    expectResult(handPoseResult(poses),
                 (std::string(R"({"success": true, "count": 2, "hands": )") + entries + "}").c_str());
    expectResult(handPoseResult({}), R"({"success": true, "count": 0, "hands": []})");
}

TEST(VisionResults, ComparisonNamesTheSimilarityByStrictThresholds) {
    struct Case {
        float distance;
        const char* description;
    };
    const std::vector<Case> cases = {
        {0.0F, "Identical"},     {0.5F, "Very Similar"},
        {4.99F, "Very Similar"}, {5.0F, "Similar"},
        {14.99F, "Similar"},     {15.0F, "Different"},
        {64.0F, "Different"},    {std::numeric_limits<float>::quiet_NaN(), "Different"},
    };
    for (const auto& [distance, description] : cases) {
        EXPECT_EQ(similarityDescription(distance), description) << distance;
    }
    expectResult(imageComparisonResult(14.99F),
                 R"({"success": true, "distance": 14.99, "similarity_description": "Similar"})");
}

TEST(VisionResults, SinglePrecisionNumbersWriteTheShortestTextThatReadsBackAsTheSameFloat) {
    EXPECT_EQ(mcp::writeJSON(singlePrecisionValue(0.9F)), "0.9");
    for (const float number : {0.9F, 0.1F, 1.0F / 3.0F, 1e-8F, 0.99999994F, 16777216.0F, 0.0F, -2.5F,
                               std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min()}) {
        const auto text = mcp::writeJSON(singlePrecisionValue(number));
        EXPECT_EQ(static_cast<float>(*mcp::parseJSON(text).doubleValue()), number) << text;
    }
    EXPECT_TRUE(std::isnan(*singlePrecisionValue(std::numeric_limits<float>::quiet_NaN()).doubleValue()));
}

}  // namespace
}  // namespace lumenary::app
