#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mcp/core/value.hpp"
#include "platform/platform_error.hpp"
#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// What the server and the vision worker say to each other. Each message is
// one frame: its length in decimal digits, a newline, then that many bytes
// of JSON. A request names one analysis and its images; the answer holds
// either that analysis's observations or a "VisionService" error.

// No frame is longer; a longer length is garbage.
inline constexpr std::size_t maximumVisionFrameLength = 64 * 1024 * 1024;
// The length line's digits.
inline constexpr std::size_t maximumVisionFrameHeaderLength = 20;

struct VisionWorkerRequest {
    enum class Analysis {
        text,
        barcodes,
        saliency,
        featurePrints,
        faces,
        faceFeaturePrint,
        faceFeatures,
        animals,
        bodyPose,
        handPose
    };

    Analysis analysis = Analysis::barcodes;
    // One path, or for feature prints every path in order.
    std::vector<std::string> imagePaths;
    TextRecognitionOptions textOptions;
    SaliencyKind saliencyKind = SaliencyKind::attention;
};

// `payload` with its length line in front.
std::string visionFrame(std::string_view payload);
// The length a frame's length line announces; absent for anything but
// digits or a length over the maximum.
std::optional<std::size_t> visionFrameLength(std::string_view lengthLine);

std::string encodeVisionRequest(const VisionWorkerRequest& request);
// Absent for a payload that is no request.
std::optional<VisionWorkerRequest> decodeVisionRequest(std::string_view payload);
// The same from a payload already parsed.
std::optional<VisionWorkerRequest> visionRequestFrom(const mcp::Value& value);

// The answer payload for an analysis's outcome. Never throws: a number the
// JSON cannot carry becomes a 500 error answer.
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<TextObservation>>& outcome);
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<BarcodeObservation>>& outcome);
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<SaliencyObservation>>& outcome);
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FeaturePrint>>& outcome);
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FaceObservation>>& outcome);
// The target's print travels as a list of none or one.
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FaceFeaturePrint>>& outcome);
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FaceFeature>>& outcome);
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<AnimalObservation>>& outcome);
// Bodies and hands alike.
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<PoseObservation>>& outcome);
// An error answer, for a request that could not be read.
std::string encodeVisionErrorAnswer(const PlatformError& error);

// Why an answer payload is not an answer.
struct UnreadableVisionAnswer {
    std::string reason;
};
template <typename Observation>
using VisionAnswer = std::variant<PlatformOutcome<std::vector<Observation>>, UnreadableVisionAnswer>;

// The outcome an answer payload carries.
template <typename Observation>
VisionAnswer<Observation> decodeVisionAnswer(std::string_view payload);

// A request's JSON, or nothing when the payload is not JSON.
std::optional<mcp::Value> parsedRequestPayload(std::string_view payload);

// One observation as an answer carries it, for messages that hold
// observations among other things (a video frame's, beside its time).
// Encoding throws mcp::EncodingError for a number JSON cannot carry;
// decoding gives nothing for a value of the wrong shape.
mcp::Value observationValue(const TextObservation& observation);
mcp::Value observationValue(const FaceObservation& observation);
mcp::Value observationValue(const FaceFeature& feature);
mcp::Value observationValue(const AnimalObservation& observation);
mcp::Value observationValue(const PoseObservation& observation);
template <typename Observation>
std::optional<Observation> observationFrom(const mcp::Value& value);

// An error as an answer carries it, its code and description; decoding gives
// nothing for a value of another shape.
mcp::Value visionErrorValue(const PlatformError& error);
std::optional<PlatformError> visionErrorFrom(const mcp::Value& value);

}  // namespace lumenary::platform::vision
