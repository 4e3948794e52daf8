#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform_error.hpp"
#include "platform/vision/video_frames.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

enum class TextRecognitionLevel { fast, accurate };

struct TextRecognitionOptions {
    TextRecognitionLevel level = TextRecognitionLevel::accurate;
    // Language tags such as "en-US" or "zh-Hans"; empty means English.
    std::vector<std::string> languages;
};

// The image analyses of the vision tools. Every member takes the path of an
// image file (already tilde-expanded), loads it and analyses it; decoded
// pixels never cross this interface. Every member blocks (the real analyzer
// waits on its worker process, bounded by a time limit), so callers run them
// on the worker pool. Calls may come from several threads; an implementation
// serialises them as it needs.
//
// Errors are in the domain "VisionService" with HTTP-like codes:
//   404 "Image file not found at path: <path>"
//   400 "Failed to load image from path: <path>" (also for a file that is
//       not a regular file, or not an image of a supported format)
//   400 an image over the pixel limit, the message naming its size
//   400 "Unsupported recognition language: <tag>"
//   500 "Failed to convert NSImage to CGImage" (decoding failed after the
//       header was read)
//   500 "Failed to generate feature print"
//   500 the worker died, overran its time limit or answered garbage; the
//       message says which
//   500 a vision network that cannot be loaded (animals, body and hand
//       poses): the message names it, says why, and how to get the files
//   501 "<Analysis> is not available on this platform"
class VisionAnalyzer {
public:
    virtual ~VisionAnalyzer() = default;

    virtual PlatformOutcome<std::vector<TextObservation>> recognizeText(const std::string& imagePath,
                                                                        const TextRecognitionOptions& options) = 0;
    virtual PlatformOutcome<std::vector<BarcodeObservation>> detectBarcodes(const std::string& imagePath) = 0;
    virtual PlatformOutcome<std::vector<SaliencyObservation>> analyzeSaliency(const std::string& imagePath,
                                                                              SaliencyKind kind) = 0;
    // Loads every image first, in order (so a load error names the first
    // path that fails), then prints them in the same order.
    virtual PlatformOutcome<std::vector<FeaturePrint>> featurePrints(const std::vector<std::string>& imagePaths) = 0;

    virtual PlatformOutcome<std::vector<AnimalObservation>> recognizeAnimals(const std::string& imagePath) = 0;
    virtual PlatformOutcome<std::vector<PoseObservation>> detectBodyPose(const std::string& imagePath) = 0;
    virtual PlatformOutcome<std::vector<PoseObservation>> detectHandPose(const std::string& imagePath) = 0;

    virtual PlatformOutcome<std::vector<FaceObservation>> detectFaces(const std::string& imagePath) = 0;
    // The print of the image's first face, straightened first when it leans;
    // nothing when the image shows no face.
    virtual PlatformOutcome<std::optional<FaceFeaturePrint>> faceFeaturePrint(const std::string& imagePath) = 0;
    // One feature for every face of the image, in the detector's order.
    virtual PlatformOutcome<std::vector<FaceFeature>> allFaceFeatures(const std::string& imagePath) = 0;
    // allFaceFeatures of every image, each outcome handed to `onEach` with
    // the image's index as soon as that image is done. Images may be
    // analysed several at a time and finish in any order; `onEach` is never
    // entered twice at once, and every image has been handed over when this
    // returns. One image after the other unless an analyzer does better.
    using FaceFeaturesOfImage = std::function<void(std::size_t, PlatformOutcome<std::vector<FaceFeature>>)>;
    virtual void allFaceFeaturesOfEach(const std::vector<std::string>& imagePaths, const FaceFeaturesOfImage& onEach) {
        for (std::size_t index = 0; index < imagePaths.size(); ++index) {
            onEach(index, allFaceFeatures(imagePaths[index]));
        }
    }

    // Video errors: 404 "Video file not found at path: <path>", 400 for a
    // file that is not a video it can read ("No video track in file: <path>"
    // for one without pictures).
    virtual PlatformOutcome<VideoInfo> videoInfo(const std::string& videoPath) = 0;
    virtual PlatformOutcome<VideoFrameBatch> videoFrames(const std::string& videoPath,
                                                         const VideoFrameRequest& request) = 0;
};

// The error a VisionAnalyzer gives with that code.
inline PlatformError visionServiceError(std::int64_t code, std::string description) {
    return {"VisionService", code, std::move(description)};
}

}  // namespace lumenary::platform::vision
