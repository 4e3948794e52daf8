#include "app/tools/vision/known_video_duration.hpp"

#include <cmath>

namespace lumenary::app {

ToolOutcome<double> knownVideoDuration(platform::vision::VisionAnalyzer& analyzer, const std::string& videoPath) {
    const auto info = analyzer.videoInfo(videoPath);
    if (!info) {
        return ToolError(info.error().domain, info.error().code, info.error().description);
    }
    const double seconds = info.value().durationSeconds;
    if (!std::isfinite(seconds)) {
        return ToolError("VisionService", 400, "The duration of the video is unknown: " + videoPath);
    }
    return seconds;
}

}  // namespace lumenary::app
