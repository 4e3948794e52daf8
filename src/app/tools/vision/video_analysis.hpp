#pragma once

#include "app/tools/plain_value.hpp"
#include "app/tools/tool_outcome.hpp"
#include "app/tools/vision/vision_tool_arguments.hpp"
#include "logging/console.hpp"
#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::app {

// The sampled analysis of a video: frames at 0, one interval, two, ... while
// the time stays below the duration, sixty attempts at most, each analysed
// with the features named ("faces", "text", "animals", "body_pose",
// "hand_pose"; other names are ignored), each giving the whole result of its
// image tool. The result is {"success", "duration", "frames_analyzed",
// "results": [{"timestamp", "faces", "text", "animals", "body_pose",
// "hand_pose"}]}, each frame's "timestamp" being the time of the frame the
// video holds there.
//
// A frame that cannot be
// taken or analysed is left out and reported on `console` as "Error
// extracting frame at <time>: <reason>"; the analyzer failing as a whole
// (its worker died, or overran its time limit) fails the call. Blocks.
ToolOutcome<PlainDictionary> analyzedVideo(platform::vision::VisionAnalyzer& analyzer,
                                           const VideoAnalysisArguments& arguments,
                                           const logging::Console& console);

}  // namespace lumenary::app
