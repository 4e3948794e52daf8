#pragma once

#include <string>

#include "app/tools/tool_outcome.hpp"
#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::app {

// The duration of the video at `videoPath` in seconds, as the analyzer
// reads it from the file. A file that does not say, or says something that
// is no finite number, fails with "VisionService" 400: every count of
// frames or times would be built on it. The analyzer's errors pass on
// unchanged.
ToolOutcome<double> knownVideoDuration(platform::vision::VisionAnalyzer& analyzer, const std::string& videoPath);

}  // namespace lumenary::app
