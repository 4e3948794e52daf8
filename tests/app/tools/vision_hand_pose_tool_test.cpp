#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "support/fake_vision_analyzer.hpp"

namespace lumenary::app {
namespace {

using namespace platform::vision;

PoseJoint joint(std::string key, double x, double y, float confidence) {
    return {std::move(key), NormalizedPoint{x, y}, confidence};
}

TEST(VisionHandPoseTool, AnswersEachHandWithTheJointsItLocatedAboveZeroConfidence) {
    struct Case {
        const char* name;
        std::vector<PoseObservation> hands;
        const char* answer;
    };
    const std::vector<Case> cases = {
        {"no hand", {}, R"({"count":0,"hands":[],"success":true})"},
        {"a joint outside the image, one lost and one never located",
         {{0.96875F,
           {joint("wrist", 0.25, 0.5, 0.96875F), joint("thumb_tip", 1.25, 0.5, 0.0F),
            joint("index_tip", 0.5, 0.5, std::numeric_limits<float>::quiet_NaN()),
            PoseJoint{"little_tip", std::nullopt, 0.5F}}}},
         R"({"count":1,"hands":[{"confidence":0.96875,"points":{"wrist":{"confidence":0.96875,"x":0.25,"y":0.5}}}],)"
         R"("success":true})"},
        {"two hands in the analyzer's order, one without a joint inside the image",
         {{0.5F, {joint("wrist", 0.75, 0.125, 0.5F)}}, {0.75F, {joint("wrist", -0.5, 0.5, 0.0F)}}},
         R"({"count":2,"hands":[{"confidence":0.5,"points":{"wrist":{"confidence":0.5,"x":0.75,"y":0.125}}},)"
         R"({"confidence":0.75,"points":{}}],"success":true})"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        auto analyzer = std::make_shared<lumenary::testing::FakeVisionAnalyzer>();
        analyzer->setPoseObservations(test.hands);
        VisionToolHandler vision{std::make_shared<VisionService>(analyzer)};
        const auto answer = testing::categoryCallText(vision, "vision_detect_hand_pose", {{"image_path", "/hands.jpg"}});
        EXPECT_EQ(mcp::writeJSON(mcp::parseJSON(answer)), mcp::writeJSON(mcp::parseJSON(test.answer)));
    }
}

}  // namespace
}  // namespace lumenary::app
