#pragma once

#include <cstdint>
#include <string>

#include "app/tools/plain_value.hpp"
#include "app/tools/tool_outcome.hpp"
#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::app {

// The search for one face in a video. Every video is taken to run at 30
// frames a second: frames 0, s, 2s, ... (s the sample interval, at least 1)
// are asked for at i / 30 s while that time is below the duration, 20 at a
// time, and every face of each frame whose similarity to `target` (1 minus
// the feature distance) reaches `threshold` is a match. The times are made
// one batch at a time and the search stops where the stream ends, whatever
// the file's header claims, so at most one batch of frames is ever held.
//
// The result is {"search_type": "video", "video_path", "matches":
// [{"timestamp", "similarity", "bounding_box"}], "summary": {"total_matches",
// "video_duration", and with a match "first_appearance", "last_appearance"}}.
// A frame the video cannot give is left out; a duration that is unknown
// fails with "VisionService" 400; a frame whose faces cannot be analysed, or
// two prints that cannot be compared, fail the search. Blocks.
ToolOutcome<PlainDictionary> searchedFaceInVideo(platform::vision::VisionAnalyzer& analyzer,
                                                 const platform::vision::FaceFeaturePrint& target,
                                                 const std::string& videoPath, double threshold,
                                                 std::int64_t sampleInterval);

}  // namespace lumenary::app
