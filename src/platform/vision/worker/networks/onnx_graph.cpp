#include "platform/vision/worker/networks/onnx_graph.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/vision/worker/networks/protobuf_reader.hpp"
#include "platform/vision/worker/networks/protobuf_writer.hpp"

namespace lumenary::platform::vision {
namespace {

// Field numbers of onnx.proto's messages, the few read here.
namespace model_field {
constexpr int graph = 7;
}
namespace graph_field {
constexpr int node = 1;
constexpr int initializer = 5;
constexpr int input = 11;
}  // namespace graph_field
namespace value_info_field {
constexpr int name = 1;
constexpr int type = 2;
constexpr int tensorType = 1;   // of the type
constexpr int elementType = 1;  // of the tensor type
constexpr int shape = 2;        // of the tensor type
constexpr int dimension = 1;    // of the shape
constexpr int dimensionValue = 1;
}  // namespace value_info_field
namespace node_field {
constexpr int input = 1;
constexpr int output = 2;
constexpr int opType = 4;
constexpr int attribute = 5;
}  // namespace node_field
namespace attribute_field {
constexpr int name = 1;
constexpr int floatValue = 2;
constexpr int integerValue = 3;
constexpr int integerType = 2;
constexpr int tensor = 5;
constexpr int type = 20;
constexpr int floatType = 1;
}  // namespace attribute_field
namespace tensor_field {
constexpr int dims = 1;
constexpr int dataType = 2;
constexpr int floatData = 4;
constexpr int name = 8;
constexpr int rawData = 9;
constexpr int floatType = 1;
}  // namespace tensor_field

PlatformError malformed(const std::string& what) {
    return {"VisionService", 500, "the ONNX model is malformed: " + what};
}

// A tensor's name, when it holds exactly one float that float, and
// whether it is a vector (one dimension, more than one element).
struct ScalarTensor {
    std::string name;
    std::optional<float> value;
    bool vector = false;
};

// The product so far of a tensor's dimensions and one more, kept at 2 once
// it is above 1.
std::uint64_t countedElements(std::uint64_t elements, std::uint64_t dimension) {
    if (elements == 0 || dimension == 0) {
        return 0;
    }
    return elements > 1 || dimension > 1 ? 2 : 1;
}

std::optional<ScalarTensor> scalarTensor(std::string_view bytes) {
    ProtobufReader reader(bytes);
    ScalarTensor tensor;
    std::uint64_t elements = 1;
    int rank = 0;
    std::uint64_t dataType = 0;
    std::vector<float> floats;
    std::string_view raw;
    bool hasRaw = false;
    while (const auto field = reader.next()) {
        switch (field->number) {
            case tensor_field::dims:
                // Only whether the product of the dimensions is 1 matters.
                if (field->wireType == 0) {
                    ++rank;
                    elements = countedElements(elements, field->value);
                } else if (field->wireType == 2) {
                    std::string_view packed = field->bytes;
                    while (!packed.empty()) {
                        const auto dimension = consumeVarint(packed);
                        if (!dimension) {
                            return std::nullopt;
                        }
                        ++rank;
                        elements = countedElements(elements, *dimension);
                    }
                }
                break;
            case tensor_field::dataType:
                dataType = field->value;
                break;
            case tensor_field::floatData:
                if (field->wireType == 5) {
                    floats.push_back(ProtobufReader::fixedFloat(*field));
                } else if (field->wireType == 2) {
                    for (std::size_t at = 0; at + 4 <= field->bytes.size() && floats.size() < 2; at += 4) {
                        float value = 0;
                        std::memcpy(&value, field->bytes.data() + at, sizeof value);
                        floats.push_back(value);
                    }
                }
                break;
            case tensor_field::name:
                tensor.name = std::string(field->bytes);
                break;
            case tensor_field::rawData:
                raw = field->bytes;
                hasRaw = true;
                break;
            default:
                break;
        }
    }
    if (reader.malformed()) {
        return std::nullopt;
    }
    if (dataType == tensor_field::floatType && elements == 1) {
        if (hasRaw && raw.size() == sizeof(float)) {
            float value = 0;
            std::memcpy(&value, raw.data(), sizeof value);
            tensor.value = value;
        } else if (!hasRaw && floats.size() == 1) {
            tensor.value = floats.front();
        }
    }
    tensor.vector = rank == 1 && elements > 1;
    if (tensor.value && std::isnan(*tensor.value)) {
        tensor.value.reset();
    }
    return tensor;
}

struct Node {
    std::string opType;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    // The "value" attribute's tensor of a Constant node.
    std::string_view constantValue;
};

std::optional<Node> readNode(std::string_view bytes) {
    ProtobufReader reader(bytes);
    Node node;
    while (const auto field = reader.next()) {
        if (field->wireType != 2) {
            continue;
        }
        switch (field->number) {
            case node_field::input:
                node.inputs.emplace_back(field->bytes);
                break;
            case node_field::output:
                node.outputs.emplace_back(field->bytes);
                break;
            case node_field::opType:
                node.opType = std::string(field->bytes);
                break;
            case node_field::attribute: {
                ProtobufReader attribute(field->bytes);
                std::string_view name;
                std::string_view tensor;
                while (const auto part = attribute.next()) {
                    if (part->number == attribute_field::name && part->wireType == 2) {
                        name = part->bytes;
                    } else if (part->number == attribute_field::tensor && part->wireType == 2) {
                        tensor = part->bytes;
                    }
                }
                if (attribute.malformed()) {
                    return std::nullopt;
                }
                if (name == "value") {
                    node.constantValue = tensor;
                }
                break;
            }
            default:
                break;
        }
    }
    if (reader.malformed()) {
        return std::nullopt;
    }
    return node;
}

std::string integerAttribute(const char* name, std::int64_t value) {
    ProtobufWriter attribute;
    attribute.bytesField(attribute_field::name, name);
    attribute.signedField(attribute_field::integerValue, value);
    attribute.varintField(attribute_field::type, attribute_field::integerType);
    return attribute.takeBytes();
}

std::string floatAttribute(const char* name, float value) {
    ProtobufWriter attribute;
    attribute.bytesField(attribute_field::name, name);
    attribute.floatField(attribute_field::floatValue, value);
    attribute.varintField(attribute_field::type, attribute_field::floatType);
    return attribute.takeBytes();
}

// The node whose fields are `bytes` as a one-input Clip of `input`.
std::string oneInputClip(std::string_view bytes, const std::string& input, float lowest, float highest) {
    // Rebuilt from the fields themselves: the inputs replaced, everything
    // else copied in its order.
    std::string rebuilt;
    ProtobufWriter first;
    first.bytesField(node_field::input, input);
    rebuilt += first.bytes();
    ProtobufReader copy(bytes);
    while (const auto field = copy.next()) {
        if (field->number != node_field::input) {
            rebuilt += field->encoding;
        }
    }
    ProtobufWriter bounds;
    bounds.bytesField(node_field::attribute, floatAttribute("min", lowest));
    bounds.bytesField(node_field::attribute, floatAttribute("max", highest));
    return rebuilt + bounds.bytes();
}

// The graph input whose fields are `bytes` with its shape fixed to
// `shape`, its element type kept; none when its fields cannot be read.
std::optional<std::string> inputWithShape(std::string_view bytes, const std::vector<std::int64_t>& shape) {
    std::uint64_t elementType = tensor_field::floatType;
    // Three levels, each read with a reader of its own: the value's type,
    // its tensor type, and that one's element type.
    ProtobufReader reader(bytes);
    while (const auto field = reader.next()) {
        if (field->number != value_info_field::type || field->wireType != 2) {
            continue;
        }
        ProtobufReader type(field->bytes);
        while (const auto typeField = type.next()) {
            if (typeField->number != value_info_field::tensorType || typeField->wireType != 2) {
                continue;
            }
            ProtobufReader tensor(typeField->bytes);
            while (const auto tensorField = tensor.next()) {
                if (tensorField->number == value_info_field::elementType && tensorField->wireType == 0) {
                    elementType = tensorField->value;
                }
            }
            if (tensor.malformed()) {
                return std::nullopt;
            }
        }
        if (type.malformed()) {
            return std::nullopt;
        }
    }
    if (reader.malformed()) {
        return std::nullopt;
    }
    ProtobufWriter dimensions;
    for (const std::int64_t side : shape) {
        ProtobufWriter dimension;
        dimension.signedField(value_info_field::dimensionValue, side);
        dimensions.messageField(value_info_field::dimension, dimension);
    }
    ProtobufWriter tensorType;
    tensorType.varintField(value_info_field::elementType, elementType);
    tensorType.messageField(value_info_field::shape, dimensions);
    ProtobufWriter type;
    type.messageField(value_info_field::tensorType, tensorType);
    ProtobufWriter rewritten;
    ProtobufReader copy(bytes);
    std::string kept;
    while (const auto field = copy.next()) {
        if (field->number != value_info_field::type) {
            kept += field->encoding;
        }
    }
    rewritten.messageField(value_info_field::type, type);
    return kept + rewritten.bytes();
}

std::string valueInfoName(std::string_view bytes) {
    ProtobufReader reader(bytes);
    while (const auto field = reader.next()) {
        if (field->number == value_info_field::name && field->wireType == 2) {
            return std::string(field->bytes);
        }
    }
    return {};
}

PlatformOutcome<std::string> rewrittenGraph(std::string_view graph, const OnnxRewrite& rewrite) {
    std::map<std::string, float, std::less<>> scalars;
    std::set<std::string, std::less<>> initializers;
    std::set<std::string, std::less<>> vectors;
    {
        ProtobufReader reader(graph);
        while (const auto field = reader.next()) {
            if (field->wireType != 2) {
                continue;
            }
            if (field->number == graph_field::initializer) {
                const auto tensor = scalarTensor(field->bytes);
                if (!tensor) {
                    return malformed("an initializer's fields cannot be read");
                }
                initializers.insert(tensor->name);
                if (tensor->value) {
                    scalars[tensor->name] = *tensor->value;
                }
                if (tensor->vector) {
                    vectors.insert(tensor->name);
                }
            } else if (field->number == graph_field::node) {
                const auto node = readNode(field->bytes);
                if (!node) {
                    return malformed("a node's fields cannot be read");
                }
                if (node->opType == "Constant" && node->outputs.size() == 1 && !node->constantValue.empty()) {
                    const auto tensor = scalarTensor(node->constantValue);
                    if (!tensor) {
                        return malformed("a constant's fields cannot be read");
                    }
                    if (tensor->value) {
                        scalars[node->outputs.front()] = *tensor->value;
                    }
                    if (tensor->vector) {
                        vectors.insert(node->outputs.front());
                    }
                }
            }
        }
        if (reader.malformed()) {
            return malformed("the graph's fields cannot be read");
        }
    }
    const auto bound = [&scalars](const Node& node, std::size_t index, float absent) -> std::optional<float> {
        if (index >= node.inputs.size() || node.inputs[index].empty()) {
            return absent;
        }
        const auto found = scalars.find(node.inputs[index]);
        if (found == scalars.end()) {
            return std::nullopt;
        }
        return found->second;
    };
    std::string rewritten;
    rewritten.reserve(graph.size() + 64);
    bool inputFixed = !rewrite.inputShape;
    ProtobufReader reader(graph);
    while (const auto field = reader.next()) {
        // The first input that is not an initializer is what the caller
        // feeds.
        if (!inputFixed && field->number == graph_field::input && field->wireType == 2 &&
            !initializers.contains(valueInfoName(field->bytes))) {
            const auto input = inputWithShape(field->bytes, *rewrite.inputShape);
            if (!input) {
                return malformed("its input's fields cannot be read");
            }
            ProtobufWriter replaced;
            replaced.bytesField(graph_field::input, *input);
            rewritten += replaced.bytes();
            inputFixed = true;
            continue;
        }
        if (field->number == graph_field::node && field->wireType == 2) {
            const auto node = readNode(field->bytes);
            if (node && node->opType == "Constant" && node->outputs.size() == 1 && !node->constantValue.empty()) {
                // The tensor under the node's output name: a second name
                // field overrides the first.
                ProtobufWriter name;
                name.bytesField(tensor_field::name, node->outputs.front());
                ProtobufWriter initializer;
                initializer.bytesField(graph_field::initializer, std::string(node->constantValue) + name.bytes());
                rewritten += initializer.bytes();
                continue;
            }
            if (node && rewrite.vectorScaledRank && node->opType == "Mul" && node->inputs.size() == 2 &&
                (vectors.contains(node->inputs[0]) || vectors.contains(node->inputs[1]))) {
                ProtobufWriter axis;
                axis.bytesField(node_field::attribute, integerAttribute("axis", *rewrite.vectorScaledRank - 1));
                ProtobufWriter replaced;
                replaced.bytesField(graph_field::node, std::string(field->bytes) + axis.bytes());
                rewritten += replaced.bytes();
                continue;
            }
            if (node && node->opType == "Clip" && node->inputs.size() > 1 && node->inputs.size() <= 3) {
                const auto lowest = bound(*node, 1, std::numeric_limits<float>::lowest());
                const auto highest = bound(*node, 2, std::numeric_limits<float>::max());
                if (lowest && highest) {
                    ProtobufWriter replaced;
                    replaced.bytesField(graph_field::node,
                                        oneInputClip(field->bytes, node->inputs.front(), *lowest, *highest));
                    rewritten += replaced.bytes();
                    continue;
                }
            }
        }
        rewritten += field->encoding;
    }
    if (!inputFixed) {
        return malformed("it has no input to give a shape");
    }
    return rewritten;
}

}  // namespace

PlatformOutcome<std::string> onnxForOpenCV(std::string_view model, const OnnxRewrite& rewrite) {
    if (model.size() > maximumOnnxModelBytes) {
        return malformed("it is larger than " + std::to_string(maximumOnnxModelBytes) + " bytes");
    }
    std::optional<ProtobufField> graph;
    ProtobufReader reader(model);
    while (const auto field = reader.next()) {
        if (field->number == model_field::graph) {
            if (field->wireType != 2) {
                return malformed("its graph is not a message");
            }
            if (graph) {
                return malformed("it holds more than one graph");
            }
            graph = field;
        }
    }
    if (reader.malformed()) {
        return malformed("its fields cannot be read");
    }
    if (!graph) {
        return malformed("it holds no graph");
    }
    auto rewritten = rewrittenGraph(graph->bytes, rewrite);
    if (!rewritten) {
        return rewritten.error();
    }
    std::string result;
    result.reserve(model.size() + 64);
    ProtobufReader copy(model);
    while (const auto field = copy.next()) {
        if (field->number == model_field::graph) {
            ProtobufWriter replaced;
            replaced.bytesField(model_field::graph, rewritten.value());
            result += replaced.bytes();
        } else {
            result += field->encoding;
        }
    }
    return result;
}

}  // namespace lumenary::platform::vision
