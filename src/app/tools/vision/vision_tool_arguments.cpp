#include "app/tools/vision/vision_tool_arguments.hpp"

#include "app/tools/tool_arguments.hpp"
#include "platform/defaults/tilde_expansion.hpp"

namespace lumenary::app {

std::optional<VideoAnalysisArguments> videoAnalysisArguments(const PlainDictionary& arguments) {
    auto videoPath = textArgument(arguments, "video_path");
    auto features = textListArgument(arguments, "features");
    if (!videoPath || !features) {
        return std::nullopt;
    }
    VideoAnalysisArguments read{.videoPath = platform::tildeExpandedPath(*videoPath), .features = std::move(*features)};
    read.sampleInterval = numberArgument(arguments, "sample_interval").value_or(read.sampleInterval);
    return read;
}

std::optional<FaceSearchArguments> faceSearchArguments(const PlainDictionary& arguments) {
    auto targetFacePath = textArgument(arguments, "target_face_path");
    auto searchPath = textArgument(arguments, "search_path");
    if (!targetFacePath || !searchPath) {
        return std::nullopt;
    }
    FaceSearchArguments read{.targetFacePath = platform::tildeExpandedPath(*targetFacePath),
                             .searchPath = platform::tildeExpandedPath(*searchPath),
                             .searchType = textArgument(arguments, "search_type")};
    read.similarityThreshold = numberArgument(arguments, "similarity_threshold").value_or(read.similarityThreshold);
    read.sampleInterval = integerArgument(arguments, "sample_interval").value_or(read.sampleInterval);
    return read;
}

}  // namespace lumenary::app
