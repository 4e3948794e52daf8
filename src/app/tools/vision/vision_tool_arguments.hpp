#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/tools/plain_value.hpp"

// The arguments of the two vision tools that take more than image paths,
// read as their call gave them. Paths come back with a leading tilde
// expanded; no range is checked (a threshold of 7.5 or a negative interval
// passes on unchanged).
namespace lumenary::app {

struct VideoAnalysisArguments {
    std::string videoPath;
    // The texts as sent, not compared with the schema's list.
    std::vector<std::string> features;
    // Seconds; a whole number counts too.
    double sampleInterval = 1.0;
};

struct FaceSearchArguments {
    std::string targetFacePath;
    std::string searchPath;
    // "video", "image" or "folder"; absent to detect it from the path.
    std::optional<std::string> searchType;
    // A whole number counts too.
    double similarityThreshold = 0.6;
    // Frames; a number with a fraction does not count.
    std::int64_t sampleInterval = 10;
};

// Absent without a text "video_path" or an all-text "features" array.
std::optional<VideoAnalysisArguments> videoAnalysisArguments(const PlainDictionary& arguments);

// Absent without a text "target_face_path" and a text "search_path".
std::optional<FaceSearchArguments> faceSearchArguments(const PlainDictionary& arguments);

}  // namespace lumenary::app
