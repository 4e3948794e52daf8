#include "app/tools/vision/vision_tool_handler.hpp"

#include "app/tools/tool_arguments.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/tilde_expansion.hpp"

namespace lumenary::app {

namespace {

ToolError visionRefusal(std::int64_t code, std::string description) {
    return ToolError("VisionTool", code, std::move(description));
}

ToolOutcome<std::string> answerText(PlainDictionary result) {
    try {
        return mcp::writeJSON(mcp::Value(std::move(result)),
                              mcp::JSONWriteOptions{.escapeSlashes = true, .prettyPrinted = true});
    } catch (const mcp::EncodingError& error) {
        // A number that is not finite: the analyses should never give one,
        // and it must not take the server down when one slips through.
        return ToolError("VisionService", 500, std::string("Failed to write the analysis result: ") + error.what());
    }
}

}  // namespace

VisionToolHandler::VisionToolHandler(std::shared_ptr<VisionService> service) : service_(std::move(service)) {}

asio::awaitable<ToolOutcome<std::string>> VisionToolHandler::handle(std::string name, PlainDictionary arguments) {
    auto result = co_await analysis(name, arguments);
    if (!result) {
        co_return result.error();
    }
    co_return answerText(std::move(result).value());
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionToolHandler::analysis(const std::string& name,
                                                                          const PlainDictionary& arguments) {
    if (name == "vision_search_face") {
        auto search = faceSearchArguments(arguments);
        if (!search) {
            co_return visionRefusal(400, "缺少 'target_face_path' 或 'search_path' 参数");
        }
        co_return co_await service_->searchFace(std::move(*search));
    }
    if (name == "vision_analyze_video") {
        auto video = videoAnalysisArguments(arguments);
        if (!video) {
            co_return visionRefusal(400, "Missing 'video_path' or 'features' argument");
        }
        co_return co_await service_->analyzeVideo(std::move(*video));
    }
    if (name == "vision_compare_images") {
        auto first = textArgument(arguments, "image_path_1");
        auto second = textArgument(arguments, "image_path_2");
        if (!first || !second) {
            co_return visionRefusal(400, "Missing 'image_path_1' or 'image_path_2' argument");
        }
        auto firstImagePath = platform::tildeExpandedPath(*first);
        auto secondImagePath = platform::tildeExpandedPath(*second);
        co_return co_await service_->compareImages(std::move(firstImagePath), std::move(secondImagePath));
    }
    // Every other name, one outside the catalogue too, needs an image first.
    const auto imagePath = textArgument(arguments, "image_path");
    if (!imagePath) {
        co_return visionRefusal(400, "Missing 'image_path' argument");
    }
    const auto expandedImagePath = platform::tildeExpandedPath(*imagePath);
    co_return co_await imageAnalysis(name, expandedImagePath, arguments);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionToolHandler::imageAnalysis(const std::string& name,
                                                                               const std::string& imagePath,
                                                                               const PlainDictionary& arguments) {
    if (name == "vision_recognize_text") {
        auto level = textArgument(arguments, "recognition_level").value_or("accurate");
        auto languages = textListArgument(arguments, "languages").value_or(std::vector<std::string>{});
        co_return co_await service_->recognizeText(imagePath, std::move(level), std::move(languages));
    }
    if (name == "vision_detect_barcodes") {
        co_return co_await service_->detectBarcodes(imagePath);
    }
    if (name == "vision_recognize_animals") {
        co_return co_await service_->recognizeAnimals(imagePath);
    }
    if (name == "vision_detect_body_pose") {
        co_return co_await service_->detectBodyPose(imagePath);
    }
    if (name == "vision_detect_hand_pose") {
        co_return co_await service_->detectHandPose(imagePath);
    }
    if (name == "vision_analyze_saliency") {
        auto type = textArgument(arguments, "type").value_or("attention");
        co_return co_await service_->analyzeSaliency(imagePath, std::move(type));
    }
    co_return visionRefusal(404, "Unknown vision tool: " + name);
}

}  // namespace lumenary::app
