#include "platform/vision/video_worker_protocol.hpp"

#include <cmath>
#include <exception>
#include <limits>
#include <utility>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::platform::vision {

namespace {

using mcp::Value;

// Integers read as doubles too: the writer may drop the fraction of a whole
// number.
std::optional<double> videoReplyNumber(const Value* member) {
    if (member == nullptr) {
        return std::nullopt;
    }
    if (const auto integer = member->intValue()) {
        return static_cast<double>(*integer);
    }
    return member->doubleValue();
}

std::optional<double> videoReplyNumber(const Value& object, std::string_view key) {
    return videoReplyNumber(object.find(key));
}

template <typename Observation>
Value arrayOf(const std::vector<Observation>& observations) {
    Value::Array elements;
    elements.reserve(observations.size());
    for (const auto& observation : observations) {
        elements.push_back(observationValue(observation));
    }
    return elements;
}

// Absent when the member is there but not an array of readable elements;
// an absent member gives an empty optional inside.
template <typename Observation>
std::optional<std::optional<std::vector<Observation>>> arrayFrom(const Value& object, std::string_view key) {
    const Value* member = object.find(key);
    if (member == nullptr) {
        return std::optional<std::vector<Observation>>();
    }
    if (member->arrayValue() == nullptr) {
        return std::nullopt;
    }
    std::vector<Observation> observations;
    for (const auto& element : *member->arrayValue()) {
        auto observation = observationFrom<Observation>(element);
        if (!observation) {
            return std::nullopt;
        }
        observations.push_back(std::move(*observation));
    }
    return std::optional<std::vector<Observation>>(std::move(observations));
}

Value frameValue(const PlatformOutcome<VideoFrame>& outcome) {
    if (!outcome) {
        return Value::object({{"error", visionErrorValue(outcome.error())}});
    }
    const auto& frame = outcome.value();
    Value::Object members{{"timestamp", frame.timestamp}};
    if (frame.analysisError) {
        members.emplace("analysisError", visionErrorValue(*frame.analysisError));
    }
    if (frame.faces) {
        members.emplace("faces", arrayOf(*frame.faces));
    }
    if (frame.text) {
        members.emplace("text", arrayOf(*frame.text));
    }
    if (frame.faceFeatures) {
        members.emplace("faceFeatures", arrayOf(*frame.faceFeatures));
    }
    if (frame.animals) {
        members.emplace("animals", arrayOf(*frame.animals));
    }
    if (frame.bodyPoses) {
        members.emplace("bodyPoses", arrayOf(*frame.bodyPoses));
    }
    if (frame.handPoses) {
        members.emplace("handPoses", arrayOf(*frame.handPoses));
    }
    return members;
}

std::optional<PlatformOutcome<VideoFrame>> frameFrom(const Value& value) {
    if (const Value* error = value.find("error")) {
        auto failure = visionErrorFrom(*error);
        if (!failure) {
            return std::nullopt;
        }
        return PlatformOutcome<VideoFrame>(std::move(*failure));
    }
    const auto timestamp = videoReplyNumber(value, "timestamp");
    auto faces = arrayFrom<FaceObservation>(value, "faces");
    auto text = arrayFrom<TextObservation>(value, "text");
    auto features = arrayFrom<FaceFeature>(value, "faceFeatures");
    auto animals = arrayFrom<AnimalObservation>(value, "animals");
    auto bodyPoses = arrayFrom<PoseObservation>(value, "bodyPoses");
    auto handPoses = arrayFrom<PoseObservation>(value, "handPoses");
    if (!timestamp || !faces || !text || !features || !animals || !bodyPoses || !handPoses) {
        return std::nullopt;
    }
    VideoFrame frame;
    frame.timestamp = *timestamp;
    frame.faces = std::move(*faces);
    frame.text = std::move(*text);
    frame.faceFeatures = std::move(*features);
    frame.animals = std::move(*animals);
    frame.bodyPoses = std::move(*bodyPoses);
    frame.handPoses = std::move(*handPoses);
    if (const Value* analysisError = value.find("analysisError")) {
        frame.analysisError = visionErrorFrom(*analysisError);
        if (!frame.analysisError) {
            return std::nullopt;
        }
    }
    return PlatformOutcome<VideoFrame>(std::move(frame));
}

// The answer `build` makes, written; a number JSON cannot carry, met while
// building or writing, becomes an error answer.
template <typename Build>
std::string encodedAnswer(Build build) {
    try {
        return mcp::writeJSON(build());
    } catch (const mcp::EncodingError& error) {
        return encodeVisionErrorAnswer(visionServiceError(
            500, std::string("The video analysis produced a result that cannot be sent: ") + error.what()));
    }
}

// The parsed answer, or why it is none; an error answer comes back as its
// error.
std::variant<Value, PlatformError, UnreadableVisionAnswer> parsedAnswer(std::string_view payload) {
    Value value;
    try {
        value = mcp::parseJSON(payload);
    } catch (const std::exception& error) {
        return UnreadableVisionAnswer{error.what()};
    }
    if (const Value* error = value.find("error")) {
        auto failure = visionErrorFrom(*error);
        if (!failure) {
            return UnreadableVisionAnswer{"an error without code or description"};
        }
        return std::move(*failure);
    }
    return value;
}

}  // namespace

std::string encodeVideoWorkerRequest(const VideoWorkerRequest& request) {
    Value::Object members{{"analysis", request.kind == VideoWorkerRequest::Kind::info ? "videoInfo" : "videoFrames"},
                          {"path", request.videoPath}};
    if (request.kind == VideoWorkerRequest::Kind::frames) {
        Value::Array times;
        for (const double time : request.frames.times) {
            times.emplace_back(time);
        }
        members.emplace("times", std::move(times));
        members.emplace("faces", request.frames.faces);
        members.emplace("text", request.frames.text);
        members.emplace("faceFeatures", request.frames.faceFeatures);
        members.emplace("animals", request.frames.animals);
        members.emplace("bodyPose", request.frames.bodyPose);
        members.emplace("handPose", request.frames.handPose);
    }
    return mcp::writeJSON(members);
}

std::optional<VideoWorkerRequest> decodeVideoWorkerRequest(std::string_view payload) {
    const auto parsed = parsedRequestPayload(payload);
    return parsed ? videoWorkerRequestFrom(*parsed) : std::nullopt;
}

std::optional<VideoWorkerRequest> videoWorkerRequestFrom(const Value& value) {
    const Value* analysis = value.find("analysis");
    const Value* path = value.find("path");
    if (analysis == nullptr || analysis->stringValue() == nullptr || path == nullptr ||
        path->stringValue() == nullptr) {
        return std::nullopt;
    }
    VideoWorkerRequest request;
    request.videoPath = *path->stringValue();
    if (*analysis->stringValue() == "videoInfo") {
        request.kind = VideoWorkerRequest::Kind::info;
        return request;
    }
    if (*analysis->stringValue() != "videoFrames") {
        return std::nullopt;
    }
    request.kind = VideoWorkerRequest::Kind::frames;
    const Value* times = value.find("times");
    if (times == nullptr || times->arrayValue() == nullptr) {
        return std::nullopt;
    }
    for (const auto& time : *times->arrayValue()) {
        const auto seconds = videoReplyNumber(&time);
        if (!seconds) {
            return std::nullopt;
        }
        request.frames.times.push_back(*seconds);
    }
    const auto flag = [&value](const char* key) {
        const Value* member = value.find(key);
        return member != nullptr && member->boolValue().value_or(false);
    };
    request.frames.faces = flag("faces");
    request.frames.text = flag("text");
    request.frames.faceFeatures = flag("faceFeatures");
    request.frames.animals = flag("animals");
    request.frames.bodyPose = flag("bodyPose");
    request.frames.handPose = flag("handPose");
    return request;
}

std::string encodeVideoInfoAnswer(const PlatformOutcome<VideoInfo>& outcome) {
    if (!outcome) {
        return encodeVisionErrorAnswer(outcome.error());
    }
    return encodedAnswer([&outcome] {
        Value::Object info;
        if (std::isfinite(outcome.value().durationSeconds)) {
            info.emplace("duration", outcome.value().durationSeconds);
        }
        return Value::object({{"video", std::move(info)}});
    });
}

std::string encodeVideoFramesAnswer(const PlatformOutcome<VideoFrameBatch>& outcome) {
    if (!outcome) {
        return encodeVisionErrorAnswer(outcome.error());
    }
    return encodedAnswer([&outcome] {
        Value::Array frames;
        frames.reserve(outcome.value().frames.size());
        for (const auto& frame : outcome.value().frames) {
            frames.push_back(frameValue(frame));
        }
        return Value::object({{"frames", std::move(frames)}, {"endOfStream", outcome.value().endOfStream}});
    });
}

std::variant<PlatformOutcome<VideoInfo>, UnreadableVisionAnswer> decodeVideoInfoAnswer(std::string_view payload) {
    auto parsed = parsedAnswer(payload);
    if (auto* unreadable = std::get_if<UnreadableVisionAnswer>(&parsed)) {
        return std::move(*unreadable);
    }
    if (auto* error = std::get_if<PlatformError>(&parsed)) {
        return PlatformOutcome<VideoInfo>(std::move(*error));
    }
    const Value* info = std::get<Value>(parsed).find("video");
    if (info == nullptr || info->objectValue() == nullptr) {
        return UnreadableVisionAnswer{"neither a video description nor an error"};
    }
    const Value* duration = info->find("duration");
    const auto seconds = videoReplyNumber(duration);
    if (duration != nullptr && !seconds) {
        return UnreadableVisionAnswer{"a duration that is not a number"};
    }
    return PlatformOutcome<VideoInfo>(VideoInfo{seconds.value_or(std::numeric_limits<double>::quiet_NaN())});
}

std::variant<PlatformOutcome<VideoFrameBatch>, UnreadableVisionAnswer> decodeVideoFramesAnswer(
    std::string_view payload) {
    auto parsed = parsedAnswer(payload);
    if (auto* unreadable = std::get_if<UnreadableVisionAnswer>(&parsed)) {
        return std::move(*unreadable);
    }
    if (auto* error = std::get_if<PlatformError>(&parsed)) {
        return PlatformOutcome<VideoFrameBatch>(std::move(*error));
    }
    const auto& value = std::get<Value>(parsed);
    const Value* frames = value.find("frames");
    const Value* endOfStream = value.find("endOfStream");
    if (frames == nullptr || frames->arrayValue() == nullptr || endOfStream == nullptr || !endOfStream->boolValue()) {
        return UnreadableVisionAnswer{"neither frames nor an error"};
    }
    VideoFrameBatch batch;
    batch.endOfStream = *endOfStream->boolValue();
    for (const auto& element : *frames->arrayValue()) {
        auto frame = frameFrom(element);
        if (!frame) {
            return UnreadableVisionAnswer{"a frame of the wrong shape"};
        }
        batch.frames.push_back(std::move(*frame));
    }
    return PlatformOutcome<VideoFrameBatch>(std::move(batch));
}

}  // namespace lumenary::platform::vision
