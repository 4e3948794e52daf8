#include "platform/vision/vision_worker_protocol.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <utility>

#include "mcp/core/base64.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform::vision {

namespace {

using mcp::Value;

const char* analysisName(VisionWorkerRequest::Analysis analysis) {
    switch (analysis) {
        case VisionWorkerRequest::Analysis::text:
            return "text";
        case VisionWorkerRequest::Analysis::barcodes:
            return "barcodes";
        case VisionWorkerRequest::Analysis::saliency:
            return "saliency";
        case VisionWorkerRequest::Analysis::featurePrints:
            return "featurePrints";
        case VisionWorkerRequest::Analysis::faces:
            return "faces";
        case VisionWorkerRequest::Analysis::faceFeaturePrint:
            return "faceFeaturePrint";
        case VisionWorkerRequest::Analysis::faceFeatures:
            return "faceFeatures";
        case VisionWorkerRequest::Analysis::animals:
            return "animals";
        case VisionWorkerRequest::Analysis::bodyPose:
            return "bodyPose";
        case VisionWorkerRequest::Analysis::handPose:
            return "handPose";
    }
    return "";
}

std::optional<VisionWorkerRequest::Analysis> analysisNamed(std::string_view name) {
    for (const auto analysis : {VisionWorkerRequest::Analysis::text, VisionWorkerRequest::Analysis::barcodes,
                                VisionWorkerRequest::Analysis::saliency,
                                VisionWorkerRequest::Analysis::featurePrints, VisionWorkerRequest::Analysis::faces,
                                VisionWorkerRequest::Analysis::faceFeaturePrint,
                                VisionWorkerRequest::Analysis::faceFeatures, VisionWorkerRequest::Analysis::animals,
                                VisionWorkerRequest::Analysis::bodyPose, VisionWorkerRequest::Analysis::handPose}) {
        if (name == analysisName(analysis)) {
            return analysis;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> texts(const Value* value) {
    if (value == nullptr || value->arrayValue() == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> result;
    for (const auto& element : *value->arrayValue()) {
        if (element.stringValue() == nullptr) {
            return std::nullopt;
        }
        result.push_back(*element.stringValue());
    }
    return result;
}

Value textArray(const std::vector<std::string>& texts) {
    Value::Array elements;
    for (const auto& text : texts) {
        elements.emplace_back(text);
    }
    return elements;
}

// A double member; integers read as doubles because the writer may drop the
// fraction of a whole number.
std::optional<double> visionReplyNumber(const Value& object, std::string_view key) {
    const Value* member = object.find(key);
    if (member == nullptr) {
        return std::nullopt;
    }
    if (const auto integer = member->intValue()) {
        return static_cast<double>(*integer);
    }
    return member->doubleValue();
}

Value rectValue(const NormalizedRect& rect) {
    return Value::object({{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}});
}

std::optional<NormalizedRect> rectFrom(const Value* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    const auto x = visionReplyNumber(*value, "x");
    const auto y = visionReplyNumber(*value, "y");
    const auto width = visionReplyNumber(*value, "width");
    const auto height = visionReplyNumber(*value, "height");
    if (!x || !y || !width || !height) {
        return std::nullopt;
    }
    return NormalizedRect{*x, *y, *width, *height};
}

Value toValue(const TextObservation& observation) {
    Value::Object members{{"box", rectValue(observation.boundingBox)}};
    if (observation.topCandidate) {
        // A recogniser's bytes are not always UTF-8; one bad byte must not
        // cost the whole answer.
        members.emplace("text", system::repairUTF8(observation.topCandidate->text));
        members.emplace("confidence", static_cast<double>(observation.topCandidate->confidence));
    }
    return members;
}

Value toValue(const BarcodeObservation& observation) {
    Value::Object members{{"symbology", system::repairUTF8(observation.symbology)},
                          {"box", rectValue(observation.boundingBox)}};
    if (observation.payload) {
        members.emplace("payload", system::repairUTF8(*observation.payload));
    }
    return members;
}

Value toValue(const SaliencyObservation& observation) {
    if (!observation.salientObjects) {
        return Value::object({});
    }
    Value::Array objects;
    for (const auto& object : *observation.salientObjects) {
        objects.push_back(Value::object(
            {{"confidence", static_cast<double>(object.confidence)}, {"box", rectValue(object.boundingBox)}}));
    }
    return Value::object({{"objects", std::move(objects)}});
}

Value toValue(const FeaturePrint& print) {
    // Every bit of the print, which a JSON integer (signed) would not carry.
    char digits[17] = {};
    std::to_chars(digits, digits + 16, print.bits, 16);
    return std::string(digits);
}

std::optional<TextObservation> fromValue(const Value& value, const TextObservation*) {
    TextObservation observation;
    const auto box = rectFrom(value.find("box"));
    if (!box) {
        return std::nullopt;
    }
    observation.boundingBox = *box;
    if (const Value* text = value.find("text")) {
        const auto confidence = visionReplyNumber(value, "confidence");
        if (text->stringValue() == nullptr || !confidence) {
            return std::nullopt;
        }
        observation.topCandidate = TextCandidate{*text->stringValue(), static_cast<float>(*confidence)};
    }
    return observation;
}

std::optional<BarcodeObservation> fromValue(const Value& value, const BarcodeObservation*) {
    const Value* symbology = value.find("symbology");
    const auto box = rectFrom(value.find("box"));
    if (symbology == nullptr || symbology->stringValue() == nullptr || !box) {
        return std::nullopt;
    }
    BarcodeObservation observation{*symbology->stringValue(), std::nullopt, *box};
    if (const Value* payload = value.find("payload")) {
        if (payload->stringValue() == nullptr) {
            return std::nullopt;
        }
        observation.payload = *payload->stringValue();
    }
    return observation;
}

std::optional<SaliencyObservation> fromValue(const Value& value, const SaliencyObservation*) {
    if (value.objectValue() == nullptr) {
        return std::nullopt;
    }
    const Value* objects = value.find("objects");
    if (objects == nullptr) {
        return SaliencyObservation{};
    }
    if (objects->arrayValue() == nullptr) {
        return std::nullopt;
    }
    std::vector<SalientObject> salientObjects;
    for (const auto& object : *objects->arrayValue()) {
        const auto confidence = visionReplyNumber(object, "confidence");
        const auto box = rectFrom(object.find("box"));
        if (!confidence || !box) {
            return std::nullopt;
        }
        salientObjects.push_back({static_cast<float>(*confidence), *box});
    }
    return SaliencyObservation{std::move(salientObjects)};
}

std::optional<FeaturePrint> fromValue(const Value& value, const FeaturePrint*) {
    const std::string* digits = value.stringValue();
    if (digits == nullptr || digits->empty() || digits->size() > 16) {
        return std::nullopt;
    }
    FeaturePrint print;
    const auto [end, error] = std::from_chars(digits->data(), digits->data() + digits->size(), print.bits, 16);
    if (error != std::errc() || end != digits->data() + digits->size()) {
        return std::nullopt;
    }
    return print;
}

Value toValue(const FaceObservation& observation) {
    Value::Object members{{"box", rectValue(observation.boundingBox)}};
    if (observation.roll) {
        members.emplace("roll", *observation.roll);
    }
    if (observation.yaw) {
        members.emplace("yaw", *observation.yaw);
    }
    if (observation.landmarks) {
        Value::Object counts;
        const auto add = [&](const char* key, const std::optional<int>& count) {
            if (count) {
                counts.emplace(key, *count);
            }
        };
        add("leftEye", observation.landmarks->leftEyeCount);
        add("rightEye", observation.landmarks->rightEyeCount);
        add("nose", observation.landmarks->nosePointCount);
        add("mouth", observation.landmarks->mouthPointCount);
        members.emplace("landmarks", std::move(counts));
    }
    return members;
}

// The floats' bytes: a face print is thousands of values, which as JSON
// numbers would cost five times the room and the time to read. Both ends
// run on the same machine, so the byte order is the same.
Value toValue(const FaceFeaturePrint& print) {
    for (const float value : print.values) {
        if (!std::isfinite(value)) {
            throw mcp::EncodingError("a face print value that is not finite");
        }
    }
    return mcp::base64Encode(
        std::string_view(reinterpret_cast<const char*>(print.values.data()), print.values.size() * sizeof(float)));
}

Value toValue(const FaceFeature& feature) {
    return Value::object({{"box", rectValue(feature.boundingBox)}, {"print", toValue(feature.print)}});
}

std::optional<FaceObservation> fromValue(const Value& value, const FaceObservation*) {
    const auto box = rectFrom(value.find("box"));
    if (!box) {
        return std::nullopt;
    }
    FaceObservation observation{*box, visionReplyNumber(value, "roll"), visionReplyNumber(value, "yaw"), std::nullopt};
    if ((value.find("roll") && !observation.roll) || (value.find("yaw") && !observation.yaw)) {
        return std::nullopt;
    }
    if (const Value* counts = value.find("landmarks")) {
        if (counts->objectValue() == nullptr) {
            return std::nullopt;
        }
        FaceLandmarksSummary summary;
        const auto read = [&](const char* key, std::optional<int>& count) {
            if (const Value* member = counts->find(key)) {
                const auto integer = member->intValue();
                if (!integer) {
                    return false;
                }
                count = static_cast<int>(*integer);
            }
            return true;
        };
        if (!read("leftEye", summary.leftEyeCount) || !read("rightEye", summary.rightEyeCount) ||
            !read("nose", summary.nosePointCount) || !read("mouth", summary.mouthPointCount)) {
            return std::nullopt;
        }
        observation.landmarks = summary;
    }
    return observation;
}

std::optional<FaceFeaturePrint> fromValue(const Value& value, const FaceFeaturePrint*) {
    if (value.stringValue() == nullptr) {
        return std::nullopt;
    }
    const auto bytes = mcp::base64Decode(*value.stringValue());
    if (!bytes || bytes->size() % sizeof(float) != 0) {
        return std::nullopt;
    }
    FaceFeaturePrint print;
    print.values.resize(bytes->size() / sizeof(float));
    if (!bytes->empty()) {
        std::memcpy(print.values.data(), bytes->data(), bytes->size());
    }
    return print;
}

std::optional<FaceFeature> fromValue(const Value& value, const FaceFeature*) {
    const auto box = rectFrom(value.find("box"));
    const Value* printValue = value.find("print");
    auto print = printValue ? fromValue(*printValue, static_cast<const FaceFeaturePrint*>(nullptr)) : std::nullopt;
    if (!box || !print) {
        return std::nullopt;
    }
    return FaceFeature{std::move(*print), *box};
}

Value toValue(const AnimalObservation& observation) {
    Value::Array labels;
    for (const auto& label : observation.labels) {
        labels.push_back(Value::object({{"identifier", system::repairUTF8(label.identifier)},
                                        {"confidence", static_cast<double>(label.confidence)}}));
    }
    return Value::object({{"labels", std::move(labels)}, {"box", rectValue(observation.boundingBox)}});
}

std::optional<AnimalObservation> fromValue(const Value& value, const AnimalObservation*) {
    const Value* labels = value.find("labels");
    const auto box = rectFrom(value.find("box"));
    if (labels == nullptr || labels->arrayValue() == nullptr || !box) {
        return std::nullopt;
    }
    AnimalObservation observation{{}, *box};
    for (const auto& label : *labels->arrayValue()) {
        const Value* identifier = label.find("identifier");
        const auto confidence = visionReplyNumber(label, "confidence");
        if (identifier == nullptr || identifier->stringValue() == nullptr || !confidence) {
            return std::nullopt;
        }
        observation.labels.push_back({*identifier->stringValue(), static_cast<float>(*confidence)});
    }
    return observation;
}

// A joint without a location travels without "x" and "y".
Value toValue(const PoseObservation& observation) {
    Value::Array joints;
    for (const auto& joint : observation.joints) {
        Value::Object members{{"key", system::repairUTF8(joint.key)},
                              {"confidence", static_cast<double>(joint.confidence)}};
        if (joint.location) {
            members.emplace("x", joint.location->x);
            members.emplace("y", joint.location->y);
        }
        joints.push_back(std::move(members));
    }
    return Value::object({{"confidence", static_cast<double>(observation.confidence)}, {"joints", std::move(joints)}});
}

std::optional<PoseObservation> fromValue(const Value& value, const PoseObservation*) {
    const auto confidence = visionReplyNumber(value, "confidence");
    const Value* joints = value.find("joints");
    if (!confidence || joints == nullptr || joints->arrayValue() == nullptr) {
        return std::nullopt;
    }
    PoseObservation observation{static_cast<float>(*confidence), {}};
    for (const auto& joint : *joints->arrayValue()) {
        const Value* key = joint.find("key");
        const auto jointConfidence = visionReplyNumber(joint, "confidence");
        if (key == nullptr || key->stringValue() == nullptr || !jointConfidence) {
            return std::nullopt;
        }
        PoseJoint read{*key->stringValue(), std::nullopt, static_cast<float>(*jointConfidence)};
        const auto x = visionReplyNumber(joint, "x");
        const auto y = visionReplyNumber(joint, "y");
        if (x.has_value() != y.has_value() || (joint.find("x") && !x) || (joint.find("y") && !y)) {
            return std::nullopt;
        }
        if (x) {
            read.location = NormalizedPoint{*x, *y};
        }
        observation.joints.push_back(std::move(read));
    }
    return observation;
}

Value errorValue(const PlatformError& error) {
    return Value::object({{"error", visionErrorValue(error)}});
}

template <typename Observation>
std::string encodeAnswer(const PlatformOutcome<std::vector<Observation>>& outcome) {
    if (!outcome) {
        return mcp::writeJSON(errorValue(outcome.error()));
    }
    try {
        Value::Array observations;
        for (const auto& observation : outcome.value()) {
            observations.push_back(toValue(observation));
        }
        return mcp::writeJSON(Value::object({{"observations", std::move(observations)}}));
    } catch (const mcp::EncodingError& error) {
        return mcp::writeJSON(
            errorValue(visionServiceError(500, std::string("The analysis produced a result that cannot be sent: ") +
                                                   error.what())));
    }
}

UnreadableVisionAnswer unreadableAnswer(std::string reason) {
    return {std::move(reason)};
}

}  // namespace

std::string visionFrame(std::string_view payload) {
    std::string frame = std::to_string(payload.size());
    frame += '\n';
    frame += payload;
    return frame;
}

std::optional<std::size_t> visionFrameLength(std::string_view lengthLine) {
    std::size_t length = 0;
    const auto [end, error] = std::from_chars(lengthLine.data(), lengthLine.data() + lengthLine.size(), length);
    if (lengthLine.empty() || error != std::errc() || end != lengthLine.data() + lengthLine.size() ||
        length > maximumVisionFrameLength) {
        return std::nullopt;
    }
    return length;
}

std::string encodeVisionRequest(const VisionWorkerRequest& request) {
    Value::Object members{{"analysis", analysisName(request.analysis)}, {"paths", textArray(request.imagePaths)}};
    if (request.analysis == VisionWorkerRequest::Analysis::text) {
        members.emplace("level", request.textOptions.level == TextRecognitionLevel::fast ? "fast" : "accurate");
        members.emplace("languages", textArray(request.textOptions.languages));
    }
    if (request.analysis == VisionWorkerRequest::Analysis::saliency) {
        members.emplace("kind", request.saliencyKind == SaliencyKind::objectness ? "objectness" : "attention");
    }
    return mcp::writeJSON(members);
}

std::optional<mcp::Value> parsedRequestPayload(std::string_view payload) {
    try {
        return mcp::parseJSON(payload);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<VisionWorkerRequest> decodeVisionRequest(std::string_view payload) {
    const auto parsed = parsedRequestPayload(payload);
    return parsed ? visionRequestFrom(*parsed) : std::nullopt;
}

std::optional<VisionWorkerRequest> visionRequestFrom(const Value& value) {
    const Value* analysis = value.find("analysis");
    if (analysis == nullptr || analysis->stringValue() == nullptr) {
        return std::nullopt;
    }
    VisionWorkerRequest request;
    const auto named = analysisNamed(*analysis->stringValue());
    auto paths = texts(value.find("paths"));
    if (!named || !paths) {
        return std::nullopt;
    }
    request.analysis = *named;
    request.imagePaths = std::move(*paths);
    if (const Value* level = value.find("level"); level != nullptr && level->stringValue() != nullptr) {
        request.textOptions.level =
            *level->stringValue() == "fast" ? TextRecognitionLevel::fast : TextRecognitionLevel::accurate;
    }
    if (auto languages = texts(value.find("languages"))) {
        request.textOptions.languages = std::move(*languages);
    }
    if (const Value* kind = value.find("kind"); kind != nullptr && kind->stringValue() != nullptr) {
        request.saliencyKind = *kind->stringValue() == "objectness" ? SaliencyKind::objectness : SaliencyKind::attention;
    }
    return request;
}

std::string encodeVisionAnswer(const PlatformOutcome<std::vector<TextObservation>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<BarcodeObservation>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<SaliencyObservation>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FeaturePrint>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FaceObservation>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FaceFeaturePrint>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<FaceFeature>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<AnimalObservation>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionAnswer(const PlatformOutcome<std::vector<PoseObservation>>& outcome) {
    return encodeAnswer(outcome);
}
std::string encodeVisionErrorAnswer(const PlatformError& error) {
    return mcp::writeJSON(errorValue(error));
}

template <typename Observation>
VisionAnswer<Observation> decodeVisionAnswer(std::string_view payload) {
    Value value;
    try {
        value = mcp::parseJSON(payload);
    } catch (const std::exception& error) {
        return unreadableAnswer(error.what());
    }
    if (const Value* error = value.find("error")) {
        auto failure = visionErrorFrom(*error);
        if (!failure) {
            return unreadableAnswer("an error without code or description");
        }
        return PlatformOutcome<std::vector<Observation>>(std::move(*failure));
    }
    const Value* observations = value.find("observations");
    if (observations == nullptr || observations->arrayValue() == nullptr) {
        return unreadableAnswer("neither observations nor an error");
    }
    std::vector<Observation> result;
    for (const auto& element : *observations->arrayValue()) {
        auto observation = fromValue(element, static_cast<const Observation*>(nullptr));
        if (!observation) {
            return unreadableAnswer("an observation of the wrong shape");
        }
        result.push_back(std::move(*observation));
    }
    return PlatformOutcome<std::vector<Observation>>(std::move(result));
}

template VisionAnswer<TextObservation> decodeVisionAnswer(std::string_view);
template VisionAnswer<BarcodeObservation> decodeVisionAnswer(std::string_view);
template VisionAnswer<SaliencyObservation> decodeVisionAnswer(std::string_view);
template VisionAnswer<FeaturePrint> decodeVisionAnswer(std::string_view);
template VisionAnswer<FaceObservation> decodeVisionAnswer(std::string_view);
template VisionAnswer<FaceFeaturePrint> decodeVisionAnswer(std::string_view);
template VisionAnswer<FaceFeature> decodeVisionAnswer(std::string_view);
template VisionAnswer<AnimalObservation> decodeVisionAnswer(std::string_view);
template VisionAnswer<PoseObservation> decodeVisionAnswer(std::string_view);

Value observationValue(const TextObservation& observation) {
    return toValue(observation);
}
Value observationValue(const FaceObservation& observation) {
    return toValue(observation);
}
Value observationValue(const FaceFeature& feature) {
    return toValue(feature);
}
Value observationValue(const AnimalObservation& observation) {
    return toValue(observation);
}
Value observationValue(const PoseObservation& observation) {
    return toValue(observation);
}

template <typename Observation>
std::optional<Observation> observationFrom(const Value& value) {
    return fromValue(value, static_cast<const Observation*>(nullptr));
}

template std::optional<TextObservation> observationFrom(const Value&);
template std::optional<FaceObservation> observationFrom(const Value&);
template std::optional<FaceFeature> observationFrom(const Value&);
template std::optional<AnimalObservation> observationFrom(const Value&);
template std::optional<PoseObservation> observationFrom(const Value&);

Value visionErrorValue(const PlatformError& error) {
    return Value::object({{"code", error.code}, {"description", error.description}});
}

std::optional<PlatformError> visionErrorFrom(const Value& value) {
    const Value* code = value.find("code");
    const Value* description = value.find("description");
    if (code == nullptr || !code->intValue() || description == nullptr || description->stringValue() == nullptr) {
        return std::nullopt;
    }
    return visionServiceError(*code->intValue(), *description->stringValue());
}

}  // namespace lumenary::platform::vision
