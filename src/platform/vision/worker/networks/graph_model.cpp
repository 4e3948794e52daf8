#include "platform/vision/worker/networks/graph_model.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>

namespace lumenary::platform::vision {

namespace {

using nlohmann::json;

PlatformError modelError(std::string description) {
    return {"VisionService", 500, std::move(description)};
}

// The member `key` of `object`; null when `object` is no object or lacks it.
const json* member(const json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

// Whether the arrays and objects of `text` nest deeper than `limit`, found
// in one pass over the bytes, strings skipped. The parsed value is copied
// and walked by functions that recurse, so depth is refused before parsing.
bool nestsDeeperThan(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char byte : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (byte == '\\') {
                escaped = true;
            } else if (byte == '"') {
                inString = false;
            }
            continue;
        }
        switch (byte) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > limit) {
                    return true;
                }
                break;
            case ']':
            case '}':
                // An unbalanced close is the parser's to refuse.
                depth = depth > 0 ? depth - 1 : 0;
                break;
            default:
                break;
        }
    }
    return false;
}

PlatformOutcome<json> parsedModel(std::string_view modelJSON) {
    if (modelJSON.size() > maximumGraphModelJSONBytes) {
        return modelError("the model file is larger than " + std::to_string(maximumGraphModelJSONBytes) + " bytes");
    }
    if (nestsDeeperThan(modelJSON, maximumGraphModelNesting)) {
        return modelError("the model file nests deeper than " + std::to_string(maximumGraphModelNesting) + " levels");
    }
    json model = json::parse(modelJSON, nullptr, false);
    if (model.is_discarded() || !model.is_object()) {
        return modelError("the model file is not a JSON object");
    }
    return model;
}

// How a weight is stored in the shards.
enum class StoredType { float32, int32, float16, uint8, uint16 };

std::size_t storedSize(StoredType type) {
    switch (type) {
        case StoredType::float32:
        case StoredType::int32:
            return 4;
        case StoredType::float16:
        case StoredType::uint16:
            return 2;
        case StoredType::uint8:
            return 1;
    }
    return 4;
}

struct WeightEntry {
    std::string name;
    TensorType type = TensorType::float32;
    StoredType stored = StoredType::float32;
    std::vector<std::int64_t> shape;
    std::size_t elements = 0;
    double minimum = 0;
    double scale = 1;
};

std::optional<std::vector<std::int64_t>> shapeOf(const json& shape, std::size_t& elements) {
    if (!shape.is_array() || shape.size() > 8) {
        return std::nullopt;
    }
    std::vector<std::int64_t> dims;
    elements = 1;
    for (const auto& dim : shape) {
        if (!dim.is_number_integer() || dim.get<std::int64_t>() < 0) {
            return std::nullopt;
        }
        const auto size = static_cast<std::uint64_t>(dim.get<std::int64_t>());
        if (size != 0 && elements > maximumGraphModelWeightBytes / size) {
            return std::nullopt;
        }
        elements *= static_cast<std::size_t>(size);
        dims.push_back(static_cast<std::int64_t>(size));
    }
    return dims;
}

std::optional<double> number(const json& object, const char* key) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_number()) {
        return std::nullopt;
    }
    return member->get<double>();
}

// One manifest entry, or the reason it cannot be read.
std::variant<WeightEntry, std::string> weightEntry(const json& weight) {
    if (!weight.is_object()) {
        return std::string("a weight that is not an object");
    }
    const auto name = weight.find("name");
    const auto dtype = weight.find("dtype");
    const auto shape = weight.find("shape");
    if (name == weight.end() || !name->is_string() || dtype == weight.end() || !dtype->is_string() ||
        shape == weight.end()) {
        return std::string("a weight without name, type or shape");
    }
    WeightEntry entry;
    entry.name = name->get<std::string>();
    const auto dims = shapeOf(*shape, entry.elements);
    if (!dims) {
        return "the weight " + entry.name + " has a shape that is not a list of sizes";
    }
    entry.shape = *dims;
    const auto& type = dtype->get_ref<const std::string&>();
    if (type == "float32") {
        entry.type = TensorType::float32;
        entry.stored = StoredType::float32;
    } else if (type == "int32") {
        entry.type = TensorType::int32;
        entry.stored = StoredType::int32;
    } else {
        return "the weight " + entry.name + " has the unsupported type " + type;
    }
    const auto quantization = weight.find("quantization");
    if (quantization == weight.end()) {
        return entry;
    }
    const json* quantized = member(*quantization, "dtype");
    if (quantized == nullptr || !quantized->is_string()) {
        return "the weight " + entry.name + " has a quantization without type";
    }
    const auto& storedType = quantized->get_ref<const std::string&>();
    if (storedType == "float16" && entry.type == TensorType::float32) {
        entry.stored = StoredType::float16;
        return entry;
    }
    if (storedType != "uint8" && storedType != "uint16") {
        return "the weight " + entry.name + " has the unsupported quantization " + storedType;
    }
    entry.stored = storedType == "uint8" ? StoredType::uint8 : StoredType::uint16;
    const auto minimum = number(*quantization, "min");
    const auto scale = number(*quantization, "scale");
    if (!minimum || !scale) {
        return "the weight " + entry.name + " is quantized without min and scale";
    }
    entry.minimum = *minimum;
    entry.scale = *scale;
    return entry;
}

// A dequantized value as a float; one past the float range is infinite (a
// plain conversion would be undefined) and is refused with the weight.
float singlePrecision(double value) {
    if (std::fabs(value) > std::numeric_limits<float>::max()) {
        return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

ConstantTensor decoded(const WeightEntry& entry, const unsigned char* bytes) {
    ConstantTensor tensor;
    tensor.type = entry.type;
    tensor.shape = entry.shape;
    std::vector<float> values;
    if (entry.type == TensorType::int32 && entry.stored == StoredType::int32) {
        tensor.integers.resize(entry.elements);
        if (entry.elements > 0) {
            std::memcpy(tensor.integers.data(), bytes, entry.elements * 4);
        }
        return tensor;
    }
    values.resize(entry.elements);
    for (std::size_t index = 0; index < entry.elements; ++index) {
        switch (entry.stored) {
            case StoredType::float32:
                std::memcpy(&values[index], bytes + index * 4, 4);
                break;
            case StoredType::float16: {
                std::uint16_t half = 0;
                std::memcpy(&half, bytes + index * 2, 2);
                values[index] = halfToFloat(half);
                break;
            }
            case StoredType::uint8:
                values[index] = singlePrecision(bytes[index] * entry.scale + entry.minimum);
                break;
            case StoredType::uint16: {
                std::uint16_t quantum = 0;
                std::memcpy(&quantum, bytes + index * 2, 2);
                values[index] = singlePrecision(quantum * entry.scale + entry.minimum);
                break;
            }
            case StoredType::int32:
                break;
        }
    }
    if (entry.type == TensorType::float32) {
        tensor.floats = std::move(values);
        return tensor;
    }
    // A quantized integer weight.
    tensor.integers.reserve(values.size());
    for (const float value : values) {
        const float rounded = std::nearbyint(value);
        tensor.integers.push_back(std::isfinite(rounded) && std::fabs(rounded) < 2.1e9f
                                      ? static_cast<std::int32_t>(rounded)
                                      : 0);
    }
    return tensor;
}

// The nodes read only as the value a PadV2 pads with: minus infinity there
// is how a max pooling pads, and nowhere else.
std::unordered_set<std::string_view> readOnlyAsPadValues(const GraphModel& graph) {
    std::unordered_set<std::string_view> padValues;
    std::unordered_set<std::string_view> readOtherwise;
    for (const auto& node : graph.nodes) {
        for (std::size_t index = 0; index < node.inputs.size(); ++index) {
            const bool padValue = node.op == "PadV2" && index == 2;
            (padValue ? padValues : readOtherwise).insert(inputNodeName(node.inputs[index]));
        }
    }
    std::erase_if(padValues, [&readOtherwise](std::string_view name) { return readOtherwise.contains(name); });
    return padValues;
}

// The first weight that holds a value no trained network has (not a
// number, or infinite outside a pad value), as the reason the graph is
// refused: such a weight turns the outputs into NaN, which no analysis can
// answer with.
std::optional<std::string> nonFiniteWeight(const GraphModel& graph) {
    std::optional<std::unordered_set<std::string_view>> padValues;
    for (const auto& node : graph.nodes) {
        if (!node.constant || node.constant->type != TensorType::float32) {
            continue;
        }
        const auto& values = node.constant->floats;
        if (std::any_of(values.begin(), values.end(), [](float value) { return std::isnan(value); })) {
            return "the weight " + node.name + " holds values that are not numbers";
        }
        if (std::none_of(values.begin(), values.end(), [](float value) { return std::isinf(value); })) {
            continue;
        }
        if (!padValues) {
            padValues = readOnlyAsPadValues(graph);
        }
        if (!padValues->contains(node.name)) {
            return "the weight " + node.name + " holds infinite values";
        }
    }
    return std::nullopt;
}

std::optional<std::string> jsonText(const json& value) {
    return value.is_string() ? std::optional<std::string>(value.get<std::string>()) : std::nullopt;
}

}  // namespace

float halfToFloat(std::uint16_t bits) {
    const std::uint32_t sign = (bits & 0x8000u) << 16;
    const std::uint32_t exponent = (bits >> 10) & 0x1fu;
    std::uint32_t mantissa = bits & 0x3ffu;
    std::uint32_t result = 0;
    if (exponent == 0x1f) {
        result = sign | 0x7f800000u | (mantissa << 13);
    } else if (exponent != 0) {
        result = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa != 0) {
        // Subnormal: shift until the leading bit is the implicit one.
        std::uint32_t shifted = 113;
        while ((mantissa & 0x400u) == 0) {
            mantissa <<= 1;
            --shifted;
        }
        result = sign | (shifted << 23) | ((mantissa & 0x3ffu) << 13);
    } else {
        result = sign;
    }
    float value = 0;
    std::memcpy(&value, &result, sizeof value);
    return value;
}

std::string_view inputNodeName(std::string_view input) {
    const auto colon = input.find(':');
    return colon == std::string_view::npos ? input : input.substr(0, colon);
}

PlatformOutcome<std::vector<std::string>> graphModelWeightFiles(std::string_view modelJSON) {
    const auto parsed = parsedModel(modelJSON);
    if (!parsed) {
        return parsed.error();
    }
    const json& model = parsed.value();
    const auto manifest = model.find("weightsManifest");
    if (manifest == model.end() || !manifest->is_array()) {
        return modelError("the model file has no weights manifest");
    }
    std::vector<std::string> files;
    for (const auto& group : *manifest) {
        const json* paths = member(group, "paths");
        if (paths == nullptr || !paths->is_array()) {
            return modelError("a weight group of the model file lists no files");
        }
        for (const auto& path : *paths) {
            auto name = jsonText(path);
            if (!name || name->empty() || name->find('/') != std::string::npos || *name == "." || *name == "..") {
                return modelError("the model file names a weight file that is not a plain file name");
            }
            files.push_back(std::move(*name));
        }
    }
    return files;
}

PlatformOutcome<GraphModel> readGraphModel(std::string_view modelJSON, std::string_view weights) {
    if (weights.size() > maximumGraphModelWeightBytes) {
        return modelError("the weights are larger than " + std::to_string(maximumGraphModelWeightBytes) + " bytes");
    }
    const auto parsed = parsedModel(modelJSON);
    if (!parsed) {
        return parsed.error();
    }
    const json* model = &parsed.value();
    const json* topology = member(*model, "modelTopology");
    const json* nodes = topology != nullptr ? member(*topology, "node") : nullptr;
    if (nodes == nullptr || !nodes->is_array()) {
        return modelError("the model file has no graph");
    }

    GraphModel graph;
    std::unordered_map<std::string, std::size_t> nodeIndex;
    for (const auto& node : *nodes) {
        if (!node.is_object()) {
            return modelError("a graph node that is not an object");
        }
        const auto name = node.find("name");
        const auto op = node.find("op");
        if (name == node.end() || !name->is_string() || op == node.end() || !op->is_string()) {
            return modelError("a graph node without name or operation");
        }
        GraphNode graphNode;
        graphNode.name = name->get<std::string>();
        graphNode.op = op->get<std::string>();
        if (const auto inputs = node.find("input"); inputs != node.end()) {
            if (!inputs->is_array()) {
                return modelError("the node " + graphNode.name + " has inputs that are not a list");
            }
            for (const auto& input : *inputs) {
                auto text = jsonText(input);
                if (!text || text->empty()) {
                    return modelError("the node " + graphNode.name + " has an input that is not a name");
                }
                if (text->front() != '^') {
                    graphNode.inputs.push_back(std::move(*text));
                }
            }
        }
        if (const auto attributes = node.find("attr"); attributes != node.end()) {
            if (!attributes->is_object()) {
                return modelError("the node " + graphNode.name + " has attributes that are not an object");
            }
            graphNode.attributes = *attributes;
        }
        if (!nodeIndex.emplace(graphNode.name, graph.nodes.size()).second) {
            return modelError("two graph nodes are named " + graphNode.name);
        }
        graph.nodes.push_back(std::move(graphNode));
    }

    const auto manifest = model->find("weightsManifest");
    if (manifest == model->end() || !manifest->is_array()) {
        return modelError("the model file has no weights manifest");
    }
    std::size_t offset = 0;
    for (const auto& group : *manifest) {
        const json* entries = member(group, "weights");
        if (entries == nullptr || !entries->is_array()) {
            return modelError("a weight group of the model file lists no weights");
        }
        for (const auto& weight : *entries) {
            auto entry = weightEntry(weight);
            if (auto* reason = std::get_if<std::string>(&entry)) {
                return modelError(std::move(*reason));
            }
            const auto& read = std::get<WeightEntry>(entry);
            const std::size_t size = read.elements * storedSize(read.stored);
            if (size > weights.size() - offset) {
                return modelError("the weight " + read.name + " reaches past the end of the weight files");
            }
            const auto node = nodeIndex.find(read.name);
            if (node != nodeIndex.end() && graph.nodes[node->second].op == "Const") {
                graph.nodes[node->second].constant =
                    decoded(read, reinterpret_cast<const unsigned char*>(weights.data()) + offset);
            }
            offset += size;
        }
    }
    if (auto reason = nonFiniteWeight(graph)) {
        return modelError(std::move(*reason));
    }
    return graph;
}

}  // namespace lumenary::platform::vision
