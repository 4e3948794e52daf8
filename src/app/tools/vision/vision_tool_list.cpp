#include "app/tools/tool_input_schema.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"

namespace lumenary::app {

namespace {

PlainValue imagePathProperty() {
    return schemaProperty("string", "Absolute path to the image file");
}

PlainValue enumProperty(std::string type, std::string description, std::initializer_list<const char*> values) {
    auto property = schemaProperty(std::move(type), std::move(description));
    PlainList allowed;
    for (const auto* value : values) {
        allowed.emplace_back(value);
    }
    (*property.objectValue())["enum"] = std::move(allowed);
    return property;
}

PlainValue arrayProperty(std::string description, PlainValue items) {
    auto property = schemaProperty("array", std::move(description));
    (*property.objectValue())["items"] = std::move(items);
    return property;
}

PlainDictionary imageOnlySchema() {
    return objectSchema({{"image_path", imagePathProperty()}}, {"image_path"});
}

}  // namespace

std::vector<MCPTool> VisionToolHandler::tools() const {
    return {
        {.name = "vision_recognize_text",
         .description = "Recognize text content in an image (OCR).",
         .displayDescription = "识别图像中的文字内容 (OCR)。",
         .inputSchema = objectSchema(
             {{"image_path", imagePathProperty()},
              {"recognition_level",
               enumProperty("string", "Recognition accuracy (default: accurate)", {"accurate", "fast"})},
              {"languages", arrayProperty("List of language codes to recognize (e.g., ['en-US', 'zh-Hans'])",
                                          PlainDictionary{{"type", "string"}})}},
             {"image_path"})},
        {.name = "vision_detect_barcodes",
         .description = "Detect QR codes and barcodes in an image.",
         .displayDescription = "识别图像中的二维码和条形码。",
         .inputSchema = imageOnlySchema()},
        {.name = "vision_recognize_animals",
         .description = "Identify animals (cats/dogs) in an image.",
         .displayDescription = "识别图像中的动物 (猫/狗)。",
         .inputSchema = imageOnlySchema()},
        {.name = "vision_detect_body_pose",
         .description = "Detect human body poses and joints in an image.",
         .displayDescription = "检测图像中的人体姿态和关节点。",
         .inputSchema = imageOnlySchema()},
        {.name = "vision_detect_hand_pose",
         .description = "Detect hand joints in an image.",
         .displayDescription = "检测图像中的手部关节点。",
         .inputSchema = imageOnlySchema()},
        {.name = "vision_analyze_saliency",
         .description = "Analyze salient regions in an image.",
         .displayDescription = "分析图像中的显著区域。",
         .inputSchema = objectSchema(
             {{"image_path", imagePathProperty()},
              {"type",
               enumProperty("string", "Saliency type (attention: visual attention, objectness: object saliency)",
                            {"attention", "objectness"})}},
             {"image_path", "type"})},
        {.name = "vision_compare_images",
         .description = "Compare the similarity between two images.",
         .displayDescription = "比较两张图像的相似度。",
         .inputSchema =
             objectSchema({{"image_path_1", schemaProperty("string", "Absolute path to the first image file")},
                           {"image_path_2", schemaProperty("string", "Absolute path to the second image file")}},
                          {"image_path_1", "image_path_2"})},
        {.name = "vision_analyze_video",
         .description = "Analyze video content, extracting keyframes and performing visual recognition.",
         .displayDescription = "分析视频内容，提取关键帧并进行视觉识别 (如人脸、文本、动物等)。",
         .inputSchema =
             objectSchema({{"video_path", schemaProperty("string", "Absolute path to the video file")},
                           {"features", arrayProperty("List of features to analyze",
                                                      PlainDictionary{{"type", "string"},
                                                                      {"enum", PlainList{"faces", "text", "animals",
                                                                                         "body_pose", "hand_pose"}}})},
                           {"sample_interval", schemaProperty("number", "Sampling interval (seconds), default 1.0")}},
                          {"video_path", "features"})},
        {.name = "vision_search_face",
         .description = "Search for specific faces in videos, images, or folders.",
         .displayDescription = "在视频、图片或文件夹中搜索特定人脸 (支持批量识别)。",
         .inputSchema = objectSchema(
             {{"target_face_path", schemaProperty("string", "Absolute path to the target face image")},
              {"search_path", schemaProperty("string", "Search path (video file, image file, or folder path)")},
              {"search_type",
               enumProperty("string", "Search type (auto-detected if not specified)", {"video", "image", "folder"})},
              {"similarity_threshold", schemaProperty("number", "Similarity threshold (0.0-1.0, default: 0.6)")},
              {"sample_interval", schemaProperty("integer", "Video sampling interval (frame count, default: 10)")}},
             {"target_face_path", "search_path"})},
    };
}

}  // namespace lumenary::app
