#include "platform/vision/worker/networks/onnx_graph.hpp"

#include <algorithm>
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
constexpr int output = 12;
}  // namespace graph_field
namespace value_info_field {
constexpr int name = 1;
constexpr int type = 2;
constexpr int tensorType = 1;   // of the type
constexpr int elementType = 1;  // of the tensor type
constexpr int shape = 2;        // of the tensor type
constexpr int dimension = 1;    // of the shape
constexpr int dimensionValue = 1;
constexpr int dimensionName = 2;
}  // namespace value_info_field
namespace node_field {
constexpr int input = 1;
constexpr int output = 2;
constexpr int name = 3;
constexpr int opType = 4;
constexpr int attribute = 5;
}  // namespace node_field
namespace attribute_field {
constexpr int name = 1;
constexpr int floatValue = 2;
constexpr int integerValue = 3;
constexpr int stringValue = 4;
constexpr int integers = 8;
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

// Dimensions of a tensor are kept up to this rank, enough for a
// convolution's filters.
constexpr std::size_t keptRank = 4;

// A tensor's name, when it holds exactly one float that float, whether it
// is a vector (one dimension, more than one element) and, up to keptRank,
// its dimensions.
struct ScalarTensor {
    std::string name;
    std::optional<float> value;
    bool vector = false;
    std::vector<std::uint64_t> dimensions;
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
                    if (tensor.dimensions.size() < keptRank) {
                        tensor.dimensions.push_back(field->value);
                    }
                } else if (field->wireType == 2) {
                    std::string_view packed = field->bytes;
                    while (!packed.empty()) {
                        const auto dimension = consumeVarint(packed);
                        if (!dimension) {
                            return std::nullopt;
                        }
                        ++rank;
                        elements = countedElements(elements, *dimension);
                        if (tensor.dimensions.size() < keptRank) {
                            tensor.dimensions.push_back(*dimension);
                        }
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

// A convolution's or clip's attributes, as far as the rewrites for our
// own layers look at them; a list attribute keeps up to keptRank values.
struct NodeAttributes {
    std::vector<std::int64_t> kernelShape;
    std::vector<std::int64_t> strides;
    std::vector<std::int64_t> pads;
    std::vector<std::int64_t> dilations;
    std::optional<std::int64_t> group;
    std::optional<std::string> autoPad;
    std::optional<float> minimum;
    std::optional<float> maximum;
};

struct Node {
    std::string opType;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    // The "value" attribute's tensor of a Constant node.
    std::string_view constantValue;
    NodeAttributes attributes;
};

// The integers of a list attribute's field (packed or one by one) added
// to `values`, up to keptRank; false when a packed varint is cut short.
bool addIntegers(const ProtobufField& field, std::vector<std::int64_t>& values) {
    if (field.wireType == 0) {
        if (values.size() < keptRank) {
            values.push_back(static_cast<std::int64_t>(field.value));
        }
        return true;
    }
    std::string_view packed = field.bytes;
    while (!packed.empty()) {
        const auto value = consumeVarint(packed);
        if (!value) {
            return false;
        }
        if (values.size() < keptRank) {
            values.push_back(static_cast<std::int64_t>(*value));
        }
    }
    return true;
}

// One attribute's fields read into `node`; false when they are malformed.
bool readAttribute(std::string_view bytes, Node& node) {
    ProtobufReader attribute(bytes);
    std::string_view name;
    std::string_view tensor;
    std::optional<float> floatValue;
    std::optional<std::int64_t> integerValue;
    std::optional<std::string> stringValue;
    std::vector<std::int64_t> integers;
    while (const auto part = attribute.next()) {
        if (part->number == attribute_field::name && part->wireType == 2) {
            name = part->bytes;
        } else if (part->number == attribute_field::tensor && part->wireType == 2) {
            tensor = part->bytes;
        } else if (part->number == attribute_field::floatValue && part->wireType == 5) {
            floatValue = ProtobufReader::fixedFloat(*part);
        } else if (part->number == attribute_field::integerValue && part->wireType == 0) {
            integerValue = static_cast<std::int64_t>(part->value);
        } else if (part->number == attribute_field::stringValue && part->wireType == 2) {
            stringValue = std::string(part->bytes);
        } else if (part->number == attribute_field::integers && (part->wireType == 0 || part->wireType == 2)) {
            if (!addIntegers(*part, integers)) {
                return false;
            }
        }
    }
    if (attribute.malformed()) {
        return false;
    }
    NodeAttributes& read = node.attributes;
    if (name == "value") {
        node.constantValue = tensor;
    } else if (name == "kernel_shape") {
        read.kernelShape = integers;
    } else if (name == "strides") {
        read.strides = integers;
    } else if (name == "pads") {
        read.pads = integers;
    } else if (name == "dilations") {
        read.dilations = integers;
    } else if (name == "group") {
        read.group = integerValue;
    } else if (name == "auto_pad") {
        read.autoPad = stringValue.value_or("");
    } else if (name == "min") {
        read.minimum = floatValue;
    } else if (name == "max") {
        read.maximum = floatValue;
    }
    return true;
}

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
            case node_field::attribute:
                if (!readAttribute(field->bytes, node)) {
                    return std::nullopt;
                }
                break;
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

// The bytes of the one message field `number` in `message`; none when it
// is absent, given twice (protobuf would merge the two) or malformed.
std::optional<std::string_view> soleMessageField(std::string_view message, int number) {
    std::optional<std::string_view> found;
    ProtobufReader reader(message);
    while (const auto field = reader.next()) {
        if (field->number != number) {
            continue;
        }
        if (found || field->wireType != 2) {
            return std::nullopt;
        }
        found = field->bytes;
    }
    if (reader.malformed()) {
        return std::nullopt;
    }
    return found;
}

// The shape the graph input or value whose fields are `bytes` declares, a
// side it leaves open or names as 0; none when it declares no shape, one
// of more than keptRank sides or an unclear one.
std::optional<std::vector<std::int64_t>> declaredShape(std::string_view bytes) {
    const auto type = soleMessageField(bytes, value_info_field::type);
    const auto tensorType = type ? soleMessageField(*type, value_info_field::tensorType) : std::nullopt;
    const auto shape = tensorType ? soleMessageField(*tensorType, value_info_field::shape) : std::nullopt;
    if (!shape) {
        return std::nullopt;
    }
    std::vector<std::int64_t> sides;
    ProtobufReader dimensions(*shape);
    while (const auto dimension = dimensions.next()) {
        if (dimension->number != value_info_field::dimension) {
            continue;
        }
        if (dimension->wireType != 2 || sides.size() == keptRank) {
            return std::nullopt;
        }
        std::optional<std::int64_t> side;
        ProtobufReader fields(dimension->bytes);
        while (const auto field = fields.next()) {
            if (field->number != value_info_field::dimensionValue && field->number != value_info_field::dimensionName) {
                continue;
            }
            if (side || (field->number == value_info_field::dimensionValue && field->wireType != 0)) {
                return std::nullopt;
            }
            side = field->number == value_info_field::dimensionValue ? static_cast<std::int64_t>(field->value) : 0;
        }
        if (fields.malformed()) {
            return std::nullopt;
        }
        sides.push_back(std::max<std::int64_t>(side.value_or(0), 0));
    }
    if (dimensions.malformed()) {
        return std::nullopt;
    }
    return sides;
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

// What the rewrites for our own layers know of a graph: its nodes in file
// order, the constants' scalar values and shapes, and who reads each
// tensor.
struct GraphView {
    std::vector<Node> nodes;
    const std::map<std::string, float, std::less<>>& scalars;
    std::map<std::string, std::vector<std::uint64_t>, std::less<>> constantShapes;
    std::set<std::string, std::less<>> graphOutputs;
    // The tensors whose every side is known before the importer runs: the
    // graph's inputs, as declared or as the rewrite fixes the fed one.
    std::map<std::string, std::vector<std::int64_t>, std::less<>> knownShapes;
    // Up to three readers a tensor: enough to tell one from two from more.
    std::map<std::string, std::vector<std::size_t>, std::less<>> readers;

    void countReaders() {
        for (std::size_t index = 0; index < nodes.size(); ++index) {
            for (const auto& input : nodes[index].inputs) {
                auto& found = readers[input];
                if (found.size() < 3) {
                    found.push_back(index);
                }
            }
        }
    }

    std::vector<std::size_t> readersOf(const std::string& tensor) const {
        const auto found = readers.find(tensor);
        return found == readers.end() ? std::vector<std::size_t>{} : found->second;
    }

    // The one node that reads `tensor`, when nothing else does (the
    // graph's outputs count as a reader).
    std::optional<std::size_t> soleReader(const std::string& tensor) const {
        const auto found = readersOf(tensor);
        if (found.size() != 1 || graphOutputs.contains(tensor)) {
            return std::nullopt;
        }
        return found.front();
    }
};

// A binary node of `opType` with one output, one operand a one-element
// constant: the other operand and the constant. The constant comes second
// in a Div; a tensor times itself or two constants are not this form.
struct ScalarOperation {
    std::string tensor;
    float scalar = 0;
};

std::optional<ScalarOperation> scalarOperation(const GraphView& graph, std::size_t index, std::string_view opType) {
    const Node& node = graph.nodes[index];
    if (node.opType != opType || node.inputs.size() != 2 || node.outputs.size() != 1) {
        return std::nullopt;
    }
    const auto first = graph.scalars.find(node.inputs[0]);
    const auto second = graph.scalars.find(node.inputs[1]);
    if (second != graph.scalars.end() && first == graph.scalars.end()) {
        return ScalarOperation{node.inputs[0], second->second};
    }
    if (first != graph.scalars.end() && second == graph.scalars.end() && opType != "Div") {
        return ScalarOperation{node.inputs[1], first->second};
    }
    return std::nullopt;
}

// The nodes of a written-out hard-swish of `tensor`, in order Add 3,
// Clip 0..6, Mul, Div 6, when those are its only readers and each result
// but the last is read by the next alone.
std::optional<std::vector<std::size_t>> hardSwishOf(const GraphView& graph, const std::string& tensor) {
    const auto readers = graph.readersOf(tensor);
    if (readers.size() != 2 || graph.graphOutputs.contains(tensor)) {
        return std::nullopt;
    }
    for (const std::size_t add : readers) {
        const auto plusThree = scalarOperation(graph, add, "Add");
        if (!plusThree || plusThree->tensor != tensor || plusThree->scalar != 3.0F) {
            continue;
        }
        const std::size_t mul = readers[0] == add ? readers[1] : readers[0];
        const auto clip = graph.soleReader(graph.nodes[add].outputs.front());
        if (!clip || graph.nodes[*clip].opType != "Clip" || graph.nodes[*clip].outputs.size() != 1 ||
            graph.nodes[*clip].inputs.front() != graph.nodes[add].outputs.front()) {
            return std::nullopt;
        }
        const Node& clipNode = graph.nodes[*clip];
        const auto bound = [&graph, &clipNode](std::size_t input, const std::optional<float>& attribute) {
            if (clipNode.inputs.size() > input && !clipNode.inputs[input].empty()) {
                const auto found = graph.scalars.find(clipNode.inputs[input]);
                return found == graph.scalars.end() ? std::optional<float>{} : std::optional<float>(found->second);
            }
            return attribute;
        };
        if (bound(1, clipNode.attributes.minimum) != 0.0F || bound(2, clipNode.attributes.maximum) != 6.0F ||
            clipNode.inputs.size() > 3) {
            return std::nullopt;
        }
        const Node& mulNode = graph.nodes[mul];
        const std::string& clipped = clipNode.outputs.front();
        const bool multipliesBoth =
            mulNode.inputs.size() == 2 && ((mulNode.inputs[0] == tensor && mulNode.inputs[1] == clipped) ||
                                           (mulNode.inputs[1] == tensor && mulNode.inputs[0] == clipped));
        if (mulNode.opType != "Mul" || mulNode.outputs.size() != 1 || !multipliesBoth ||
            graph.soleReader(clipped) != mul) {
            return std::nullopt;
        }
        const auto div = graph.soleReader(mulNode.outputs.front());
        if (!div) {
            return std::nullopt;
        }
        const auto bySix = scalarOperation(graph, *div, "Div");
        if (!bySix || bySix->tensor != mulNode.outputs.front() || bySix->scalar != 6.0F) {
            return std::nullopt;
        }
        return std::vector<std::size_t>{add, *clip, mul, *div};
    }
    return std::nullopt;
}

// A run of element-wise nodes one scaledHardSwishOperation node stands
// for.
struct ScaledHardSwishRun {
    std::vector<std::size_t> members;
    std::string input;
    std::string output;
    float innerScale = 1;
    float innerShift = 0;
    bool hardSwish = false;
    float outerScale = 1;
    float outerShift = 0;
};

// The scalar Mul then Add (either may be missing) that starts at node
// `index` or follows `tensor` as its sole reader, added to `run`; the
// tensor they leave.
std::string addScalarAffine(const GraphView& graph, std::optional<std::size_t> index, std::string tensor,
                            ScaledHardSwishRun& run, float& scale, float& shift) {
    if (!index) {
        index = graph.soleReader(tensor);
    }
    if (!index) {
        return tensor;
    }
    if (const auto mul = scalarOperation(graph, *index, "Mul"); mul && mul->tensor == tensor) {
        scale = mul->scalar;
        run.members.push_back(*index);
        tensor = graph.nodes[*index].outputs.front();
        index = graph.soleReader(tensor);
        if (!index) {
            return tensor;
        }
    }
    if (const auto add = scalarOperation(graph, *index, "Add"); add && add->tensor == tensor) {
        // The Add 3 of a hard-swish is the hard-swish's.
        if (add->scalar == 3.0F && hardSwishOf(graph, tensor)) {
            return tensor;
        }
        shift = add->scalar;
        run.members.push_back(*index);
        tensor = graph.nodes[*index].outputs.front();
    }
    return tensor;
}

std::optional<ScaledHardSwishRun> scaledHardSwishRunAt(const GraphView& graph, std::size_t start) {
    const Node& first = graph.nodes[start];
    if (first.inputs.empty() || first.outputs.size() != 1) {
        return std::nullopt;
    }
    ScaledHardSwishRun run;
    // The run's input is the operand that is not a constant.
    for (const auto& input : first.inputs) {
        if (!graph.scalars.contains(input)) {
            run.input = input;
        }
    }
    std::string tensor = addScalarAffine(graph, start, run.input, run, run.innerScale, run.innerShift);
    if (run.members.empty() || run.members.front() != start) {
        // Only a hard-swish may start the run then, at its Add 3.
        run.members.clear();
        const auto hardSwish = hardSwishOf(graph, run.input);
        if (!hardSwish || hardSwish->front() != start) {
            return std::nullopt;
        }
        tensor = run.input;
    }
    if (const auto hardSwish = hardSwishOf(graph, tensor)) {
        run.hardSwish = true;
        run.members.insert(run.members.end(), hardSwish->begin(), hardSwish->end());
        tensor = graph.nodes[hardSwish->back()].outputs.front();
        tensor = addScalarAffine(graph, std::nullopt, tensor, run, run.outerScale, run.outerShift);
    }
    if (run.members.size() < 2) {
        return std::nullopt;
    }
    run.output = tensor;
    return run;
}

void addRunAttributes(ProtobufWriter& node, const ScaledHardSwishRun& run) {
    node.bytesField(node_field::attribute, floatAttribute("inner_scale", run.innerScale));
    node.bytesField(node_field::attribute, floatAttribute("inner_shift", run.innerShift));
    node.bytesField(node_field::attribute, integerAttribute("hard_swish", run.hardSwish ? 1 : 0));
    node.bytesField(node_field::attribute, floatAttribute("outer_scale", run.outerScale));
    node.bytesField(node_field::attribute, floatAttribute("outer_shift", run.outerShift));
}

std::string scaledHardSwishNode(const ScaledHardSwishRun& run) {
    ProtobufWriter node;
    node.bytesField(node_field::input, run.input);
    node.bytesField(node_field::output, run.output);
    node.bytesField(node_field::name, run.output);
    node.bytesField(node_field::opType, scaledHardSwishOperation);
    addRunAttributes(node, run);
    return node.takeBytes();
}

// Whether the depthwise Conv `node`'s kernel, `filters` C x 1 x H x W, fits
// in its padded input, as far as the rewrite knows the input's sides. One
// that does not is left to OpenCV's convolution to answer for; our layer's
// own refusal is for what the rewrite cannot see (a tensor computed within
// the graph, an input fed at other sides than declared).
bool kernelFitsKnownInput(const GraphView& graph, const Node& node, const std::vector<std::uint64_t>& filters) {
    const auto known = graph.knownShapes.find(node.inputs[0]);
    if (known == graph.knownShapes.end() || known->second.size() != 4) {
        return true;
    }
    const auto& pads = node.attributes.pads;  // top, left, bottom, right
    const auto paddedSide = [&](std::size_t axis) {
        auto side = static_cast<std::uint64_t>(known->second[2 + axis]);
        if (pads.empty()) {
            return side;
        }
        for (const std::size_t pad : {axis, axis + 2}) {
            // Nothing to say of a negative pad: the layer refuses it.
            if (pads[pad] < 0) {
                return std::numeric_limits<std::uint64_t>::max();
            }
            side += std::min(static_cast<std::uint64_t>(pads[pad]), std::numeric_limits<std::uint64_t>::max() - side);
        }
        return side;
    };
    return paddedSide(0) >= filters[2] && paddedSide(1) >= filters[3];
}

bool isDepthwiseConvolutionForOurLayer(const GraphView& graph, const Node& node) {
    if (node.opType != "Conv" || node.inputs.size() < 2 || node.inputs.size() > 3 || node.outputs.size() != 1) {
        return false;
    }
    const auto filters = graph.constantShapes.find(node.inputs[1]);
    if (filters == graph.constantShapes.end() || filters->second.size() != 4 || filters->second[1] != 1) {
        return false;
    }
    const auto& shape = filters->second;
    if (node.inputs.size() == 3 && !graph.constantShapes.contains(node.inputs[2])) {
        return false;
    }
    const NodeAttributes& attributes = node.attributes;
    const auto kernel =
        std::vector<std::int64_t>{static_cast<std::int64_t>(shape[2]), static_cast<std::int64_t>(shape[3])};
    const bool plainDilation = attributes.dilations.empty() || attributes.dilations == std::vector<std::int64_t>{1, 1};
    const bool plainPadding = !attributes.autoPad || *attributes.autoPad == "NOTSET";
    return attributes.group && static_cast<std::uint64_t>(*attributes.group) == shape[0] && shape[0] > 1 &&
           (attributes.kernelShape.empty() || attributes.kernelShape == kernel) &&
           kernel != std::vector<std::int64_t>{3, 3} && plainDilation && plainPadding &&
           (attributes.strides.empty() || attributes.strides.size() == 2) &&
           (attributes.pads.empty() || attributes.pads.size() == 4) && kernelFitsKnownInput(graph, node, shape);
}

// The depthwise Conv whose fields are `bytes` as our layer, giving the
// output of the run after it when there is one, with the run's numbers.
std::string depthwiseConvolutionNode(std::string_view bytes, const std::optional<ScaledHardSwishRun>& run) {
    std::string rebuilt;
    ProtobufReader copy(bytes);
    while (const auto field = copy.next()) {
        if (field->number != node_field::opType && (!run || field->number != node_field::output)) {
            rebuilt += field->encoding;
        }
    }
    ProtobufWriter added;
    added.bytesField(node_field::opType, depthwiseConvolutionOperation);
    if (run) {
        added.bytesField(node_field::output, run->output);
        addRunAttributes(added, *run);
    }
    return rebuilt + added.bytes();
}

// Which nodes (by their index among the graph's nodes) the rewrites for
// our own layers replace, with what; and which they drop.
struct OwnLayerPlan {
    std::map<std::size_t, std::string> replacements;
    std::set<std::size_t> dropped;
};

OwnLayerPlan ownLayerPlan(const GraphView& graph, const std::vector<std::string_view>& nodeBytes,
                          const std::set<std::string, std::less<>>& initializers) {
    OwnLayerPlan plan;
    // Who reads what says nothing when two nodes, or a node and an
    // initializer, give one tensor.
    std::set<std::string_view> given(initializers.begin(), initializers.end());
    for (const Node& node : graph.nodes) {
        for (const auto& output : node.outputs) {
            if (!given.insert(output).second) {
                return plan;
            }
        }
    }
    std::set<std::size_t> taken;
    for (std::size_t index = 0; index < graph.nodes.size(); ++index) {
        if (taken.contains(index)) {
            continue;
        }
        if (isDepthwiseConvolutionForOurLayer(graph, graph.nodes[index])) {
            // The run after it is done on each plane while in cache.
            const std::string& output = graph.nodes[index].outputs.front();
            std::optional<ScaledHardSwishRun> run;
            if (const auto reader = graph.soleReader(output); reader && *reader > index && !taken.contains(*reader)) {
                run = scaledHardSwishRunAt(graph, *reader);
            }
            if (run && (run->input != output ||
                        std::any_of(run->members.begin(), run->members.end(),
                                    [&taken](std::size_t member) { return taken.contains(member); }))) {
                run.reset();
            }
            taken.insert(index);
            if (run) {
                for (const std::size_t member : run->members) {
                    taken.insert(member);
                    plan.dropped.insert(member);
                }
            }
            plan.replacements[index] = depthwiseConvolutionNode(nodeBytes[index], run);
            continue;
        }
        const auto run = scaledHardSwishRunAt(graph, index);
        if (!run || std::any_of(run->members.begin(), run->members.end(),
                                [&taken](std::size_t member) { return taken.contains(member); })) {
            continue;
        }
        // In the place of the last: every reader of its output comes later.
        const std::size_t last = *std::max_element(run->members.begin(), run->members.end());
        for (const std::size_t member : run->members) {
            taken.insert(member);
            if (member != last) {
                plan.dropped.insert(member);
            }
        }
        plan.replacements[last] = scaledHardSwishNode(*run);
    }
    return plan;
}

// The shapes of the graph's inputs `inputs` (their fields) known in full,
// by name: the fed one (the first that is not an initializer) as `fed`
// fixes it, when it does, else as declared; the others as declared. A
// name two inputs or a node give too is not known.
std::map<std::string, std::vector<std::int64_t>, std::less<>> knownInputShapes(
    const std::vector<std::string_view>& inputs, const std::set<std::string, std::less<>>& initializers,
    const std::vector<Node>& nodes, const std::optional<std::vector<std::int64_t>>& fed) {
    std::map<std::string, std::vector<std::int64_t>, std::less<>> known;
    std::set<std::string, std::less<>> given;
    for (const Node& node : nodes) {
        given.insert(node.outputs.begin(), node.outputs.end());
    }
    bool fedSeen = false;
    for (const std::string_view input : inputs) {
        std::string name = valueInfoName(input);
        if (initializers.contains(name)) {
            continue;
        }
        auto shape = !fedSeen && fed ? std::optional(*fed) : declaredShape(input);
        fedSeen = true;
        if (!given.insert(name).second) {
            known.erase(name);
            continue;
        }
        if (shape && std::all_of(shape->begin(), shape->end(), [](std::int64_t side) { return side > 0; })) {
            known.emplace(std::move(name), std::move(*shape));
        }
    }
    return known;
}

PlatformOutcome<std::string> rewrittenGraph(std::string_view graph, const OnnxRewrite& rewrite) {
    std::map<std::string, float, std::less<>> scalars;
    std::set<std::string, std::less<>> initializers;
    std::set<std::string, std::less<>> vectors;
    GraphView view{{}, scalars, {}, {}, {}, {}};
    std::vector<std::string_view> nodeBytes;
    std::vector<std::string_view> graphInputs;
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
                view.constantShapes[tensor->name] = tensor->dimensions;
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
                    view.constantShapes[node->outputs.front()] = tensor->dimensions;
                }
                if (rewrite.ownLayers) {
                    view.nodes.push_back(*node);
                    nodeBytes.push_back(field->bytes);
                }
            } else if (field->number == graph_field::output) {
                view.graphOutputs.insert(valueInfoName(field->bytes));
            } else if (field->number == graph_field::input) {
                graphInputs.push_back(field->bytes);
            }
        }
        if (reader.malformed()) {
            return malformed("the graph's fields cannot be read");
        }
    }
    if (rewrite.ownLayers) {
        view.knownShapes = knownInputShapes(graphInputs, initializers, view.nodes, rewrite.inputShape);
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
    OwnLayerPlan plan;
    if (rewrite.ownLayers) {
        view.countReaders();
        plan = ownLayerPlan(view, nodeBytes, initializers);
    }
    std::string rewritten;
    rewritten.reserve(graph.size() + 64);
    bool inputFixed = !rewrite.inputShape;
    std::size_t nodeIndex = 0;
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
            const std::size_t index = nodeIndex++;
            if (plan.dropped.contains(index)) {
                continue;
            }
            if (const auto replacement = plan.replacements.find(index); replacement != plan.replacements.end()) {
                ProtobufWriter replaced;
                replaced.bytesField(graph_field::node, replacement->second);
                rewritten += replaced.bytes();
                continue;
            }
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

std::optional<std::vector<std::int64_t>> onnxInputShape(std::string_view model) {
    const auto graph = soleMessageField(model, model_field::graph);
    if (!graph) {
        return std::nullopt;
    }
    std::set<std::string, std::less<>> initializers;
    std::vector<std::string_view> inputs;
    ProtobufReader reader(*graph);
    while (const auto field = reader.next()) {
        if (field->number == graph_field::initializer && field->wireType == 2) {
            const auto tensor = scalarTensor(field->bytes);
            if (!tensor) {
                return std::nullopt;
            }
            initializers.insert(tensor->name);
        } else if (field->number == graph_field::input && field->wireType == 2) {
            inputs.push_back(field->bytes);
        }
    }
    if (reader.malformed()) {
        return std::nullopt;
    }
    for (const std::string_view input : inputs) {
        if (!initializers.contains(valueInfoName(input))) {
            return declaredShape(input);
        }
    }
    return std::nullopt;
}

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
