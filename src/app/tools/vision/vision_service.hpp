#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/thread_pool.hpp>

#include "app/tools/plain_value.hpp"
#include "app/tools/tool_outcome.hpp"
#include "app/tools/vision/vision_tool_arguments.hpp"
#include "logging/console.hpp"
#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::app {

// The vision analyses as the tools see them: each runs the analyzer and
// turns its observations into the tool's result dictionary
// (vision_results.hpp). The analyzer's errors, "VisionService" ones for a
// file it cannot load among them, pass on unchanged.
//
// The analyzer blocks, so it runs on a thread of the service's own, one
// request at a time in the order asked: one long recognition never holds
// more than that thread, and the analyzer is never entered twice at once.
class VisionService {
public:
    // `console` takes the lines of frames a video analysis had to leave out.
    explicit VisionService(std::shared_ptr<platform::vision::VisionAnalyzer> analyzer,
                           logging::Console console = logging::Console::standardError(""));

    // Fast recognition only for the level "fast" exactly; every other text
    // is accurate. No languages means English.
    asio::awaitable<ToolOutcome<PlainDictionary>> recognizeText(std::string imagePath, std::string recognitionLevel,
                                                                std::vector<std::string> languages);
    asio::awaitable<ToolOutcome<PlainDictionary>> detectBarcodes(std::string imagePath);
    asio::awaitable<ToolOutcome<PlainDictionary>> recognizeAnimals(std::string imagePath);
    asio::awaitable<ToolOutcome<PlainDictionary>> detectBodyPose(std::string imagePath);
    asio::awaitable<ToolOutcome<PlainDictionary>> detectHandPose(std::string imagePath);
    // Objects for the type "objectness" exactly; every other text asks where
    // the eye goes first.
    asio::awaitable<ToolOutcome<PlainDictionary>> analyzeSaliency(std::string imagePath, std::string type);
    // Both images are loaded, the first first, before either is printed.
    asio::awaitable<ToolOutcome<PlainDictionary>> compareImages(std::string firstImagePath,
                                                                std::string secondImagePath);

    // Sampled frames with their analyses (video_analysis.hpp).
    asio::awaitable<ToolOutcome<PlainDictionary>> analyzeVideo(VideoAnalysisArguments arguments);
    // The target's first face against every face of the search path: a
    // target without a face is refused (404) before the search type is
    // looked at, and a type other than "image", "folder" or "video" after
    // (400).
    asio::awaitable<ToolOutcome<PlainDictionary>> searchFace(FaceSearchArguments arguments);

private:
    // Frames sampled at 30 a second, a batch at a time (face_video_search.hpp).
    asio::awaitable<ToolOutcome<PlainDictionary>> searchFaceInVideo(platform::vision::FaceFeaturePrint target,
                                                                    std::string videoPath, double threshold,
                                                                    std::int64_t sampleInterval);
    asio::awaitable<ToolOutcome<PlainDictionary>> searchFaceInImage(platform::vision::FaceFeaturePrint target,
                                                                    std::string imagePath, double threshold);
    // Only a folder that cannot be listed fails the search; a file that
    // cannot be read or analysed counts as scanned with no face.
    asio::awaitable<ToolOutcome<PlainDictionary>> searchFaceInFolder(platform::vision::FaceFeaturePrint target,
                                                                     std::string folderPath, double threshold);

    std::shared_ptr<platform::vision::VisionAnalyzer> analyzer_;
    logging::Console console_;
    // Destroyed, it waits for the request in progress and drops the queued
    // ones.
    asio::thread_pool requestThread_{1};
};

}  // namespace lumenary::app
