#include "platform/vision/worker/networks/graph_def_encoding.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "mcp/core/base64.hpp"
#include "platform/vision/worker/networks/protobuf_writer.hpp"

namespace lumenary::platform::vision {

namespace {

using nlohmann::json;

// Field numbers of tensorflow/core/framework/*.proto.
namespace field {
constexpr int graphNode = 1;
constexpr int nodeName = 1, nodeOp = 2, nodeInput = 3, nodeAttribute = 5;
constexpr int mapKey = 1, mapValue = 2;
constexpr int attrList = 1, attrText = 2, attrInteger = 3, attrFloat = 4, attrBool = 5, attrType = 6, attrShape = 7,
              attrTensor = 8;
constexpr int shapeDim = 2, shapeUnknownRank = 3, dimSize = 1;
constexpr int tensorType = 1, tensorShape = 2, tensorContent = 4, tensorFloats = 5, tensorIntegers = 7;
}  // namespace field

struct EncodingFailure {
    std::string reason;
};

std::optional<std::uint64_t> dataTypeNumber(std::string_view name) {
    static constexpr std::pair<std::string_view, int> types[] = {
        {"DT_FLOAT", 1},     {"DT_DOUBLE", 2},  {"DT_INT32", 3},      {"DT_UINT8", 4},    {"DT_INT16", 5},
        {"DT_INT8", 6},      {"DT_STRING", 7},  {"DT_COMPLEX64", 8},  {"DT_INT64", 9},    {"DT_BOOL", 10},
        {"DT_QINT8", 11},    {"DT_QUINT8", 12}, {"DT_QINT32", 13},    {"DT_BFLOAT16", 14}, {"DT_QINT16", 15},
        {"DT_QUINT16", 16},  {"DT_UINT16", 17}, {"DT_COMPLEX128", 18}, {"DT_HALF", 19},   {"DT_RESOURCE", 20},
        {"DT_VARIANT", 21},  {"DT_UINT32", 22}, {"DT_UINT64", 23}};
    for (const auto& [typeName, number] : types) {
        if (typeName == name) {
            return static_cast<std::uint64_t>(number);
        }
    }
    return std::nullopt;
}

// JSON's int64: a string of digits, or a number.
std::int64_t integerOf(const json& value) {
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        std::int64_t integer = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), integer);
        if (error == std::errc() && end == text.data() + text.size() && !text.empty()) {
            return integer;
        }
    }
    throw EncodingFailure{"an integer that is not one"};
}

float floatOf(const json& value) {
    if (value.is_number()) {
        return static_cast<float>(value.get<double>());
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text == "NaN") {
            return std::numeric_limits<float>::quiet_NaN();
        }
        if (text == "Infinity") {
            return std::numeric_limits<float>::infinity();
        }
        if (text == "-Infinity") {
            return -std::numeric_limits<float>::infinity();
        }
    }
    throw EncodingFailure{"a float that is not one"};
}

std::uint64_t typeOf(const json& value) {
    if (value.is_string()) {
        if (const auto number = dataTypeNumber(value.get_ref<const std::string&>())) {
            return *number;
        }
    }
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    throw EncodingFailure{"an unknown element type"};
}

std::string bytesOf(const json& value) {
    if (value.is_string()) {
        if (auto bytes = mcp::base64Decode(value.get_ref<const std::string&>())) {
            return std::move(*bytes);
        }
    }
    throw EncodingFailure{"a text that is not base64"};
}

const json& arrayOf(const json& value) {
    if (!value.is_array()) {
        throw EncodingFailure{"a list that is not one"};
    }
    return value;
}

ProtobufWriter shapeMessage(const json& shape) {
    ProtobufWriter message;
    if (!shape.is_object()) {
        throw EncodingFailure{"a shape that is not an object"};
    }
    if (const auto dims = shape.find("dim"); dims != shape.end()) {
        for (const auto& dim : arrayOf(*dims)) {
            ProtobufWriter dimension;
            const auto size = dim.is_object() ? dim.find("size") : dim.end();
            if (size != dim.end()) {
                dimension.signedField(field::dimSize, integerOf(*size));
            }
            message.messageField(field::shapeDim, dimension);
        }
    }
    if (const auto unknown = shape.find("unknownRank"); unknown != shape.end() && unknown->is_boolean() &&
                                                        unknown->get<bool>()) {
        message.varintField(field::shapeUnknownRank, 1);
    }
    return message;
}

ProtobufWriter shapeMessage(const std::vector<std::int64_t>& shape) {
    ProtobufWriter message;
    for (const auto size : shape) {
        ProtobufWriter dimension;
        dimension.signedField(field::dimSize, size);
        message.messageField(field::shapeDim, dimension);
    }
    return message;
}

ProtobufWriter tensorMessage(const ConstantTensor& tensor) {
    ProtobufWriter message;
    message.varintField(field::tensorType, static_cast<std::uint64_t>(tensor.type));
    message.messageField(field::tensorShape, shapeMessage(tensor.shape));
    if (tensor.elementCount() == 1) {
        ProtobufWriter packed;
        if (tensor.type == TensorType::float32) {
            packed.packedFloat(tensor.floats.front());
            message.messageField(field::tensorFloats, packed);
        } else {
            packed.packedVarint(static_cast<std::uint64_t>(static_cast<std::int64_t>(tensor.integers.front())));
            message.messageField(field::tensorIntegers, packed);
        }
        return message;
    }
    if (tensor.type == TensorType::float32) {
        message.bytesField(field::tensorContent,
                           std::string_view(reinterpret_cast<const char*>(tensor.floats.data()),
                                            tensor.floats.size() * sizeof(float)));
    } else {
        message.bytesField(field::tensorContent,
                           std::string_view(reinterpret_cast<const char*>(tensor.integers.data()),
                                            tensor.integers.size() * sizeof(std::int32_t)));
    }
    return message;
}

// A tensor attribute that carries no weight: its type and shape only.
ProtobufWriter tensorMessage(const json& tensor) {
    ProtobufWriter message;
    if (!tensor.is_object()) {
        throw EncodingFailure{"a tensor that is not an object"};
    }
    if (const auto type = tensor.find("dtype"); type != tensor.end()) {
        message.varintField(field::tensorType, typeOf(*type));
    }
    if (const auto shape = tensor.find("tensorShape"); shape != tensor.end()) {
        message.messageField(field::tensorShape, shapeMessage(*shape));
    }
    return message;
}

ProtobufWriter listMessage(const json& list) {
    ProtobufWriter message;
    if (!list.is_object()) {
        throw EncodingFailure{"a list attribute that is not an object"};
    }
    for (const auto& [key, values] : list.items()) {
        if (key == "s") {
            for (const auto& value : arrayOf(values)) {
                message.bytesField(field::attrText, bytesOf(value));
            }
            continue;
        }
        if (key == "shape") {
            for (const auto& value : arrayOf(values)) {
                message.messageField(field::attrShape, shapeMessage(value));
            }
            continue;
        }
        ProtobufWriter packed;
        int number = 0;
        for (const auto& value : arrayOf(values)) {
            if (key == "i") {
                number = field::attrInteger;
                packed.packedVarint(static_cast<std::uint64_t>(integerOf(value)));
            } else if (key == "f") {
                number = field::attrFloat;
                packed.packedFloat(floatOf(value));
            } else if (key == "b") {
                number = field::attrBool;
                packed.packedVarint(value.is_boolean() && value.get<bool>() ? 1 : 0);
            } else if (key == "type") {
                number = field::attrType;
                packed.packedVarint(typeOf(value));
            } else {
                throw EncodingFailure{"a list of " + key};
            }
        }
        if (number != 0) {
            message.messageField(number, packed);
        }
    }
    return message;
}

// Nothing for an attribute kind OpenCV never reads (a function).
std::optional<ProtobufWriter> attributeMessage(const json& attribute, const GraphNode& node) {
    if (!attribute.is_object() || attribute.size() != 1) {
        throw EncodingFailure{"an attribute that is not an object of one kind"};
    }
    const auto item = attribute.items().begin();
    const std::string& kind = item.key();
    const json& value = item.value();
    ProtobufWriter message;
    if (kind == "s") {
        message.bytesField(field::attrText, bytesOf(value));
    } else if (kind == "i") {
        message.signedField(field::attrInteger, integerOf(value));
    } else if (kind == "f") {
        message.floatField(field::attrFloat, floatOf(value));
    } else if (kind == "b") {
        message.varintField(field::attrBool, value.is_boolean() && value.get<bool>() ? 1 : 0);
    } else if (kind == "type") {
        message.varintField(field::attrType, typeOf(value));
    } else if (kind == "shape") {
        message.messageField(field::attrShape, shapeMessage(value));
    } else if (kind == "tensor") {
        message.messageField(field::attrTensor, node.constant ? tensorMessage(*node.constant) : tensorMessage(value));
    } else if (kind == "list") {
        message.messageField(field::attrList, listMessage(value));
    } else if (kind == "func" || kind == "placeholder") {
        return std::nullopt;
    } else {
        throw EncodingFailure{"an attribute of the kind " + kind};
    }
    return message;
}

ProtobufWriter nodeMessage(const GraphNode& node) {
    ProtobufWriter message;
    message.bytesField(field::nodeName, node.name);
    message.bytesField(field::nodeOp, node.op);
    for (const auto& input : node.inputs) {
        message.bytesField(field::nodeInput, input);
    }
    bool valueWritten = false;
    for (const auto& [key, attribute] : node.attributes.items()) {
        auto value = attributeMessage(attribute, node);
        if (!value) {
            continue;
        }
        valueWritten = valueWritten || key == "value";
        ProtobufWriter entry;
        entry.bytesField(field::mapKey, key);
        entry.messageField(field::mapValue, *value);
        message.messageField(field::nodeAttribute, entry);
    }
    if (node.constant && !valueWritten) {
        ProtobufWriter value;
        value.messageField(field::attrTensor, tensorMessage(*node.constant));
        ProtobufWriter entry;
        entry.bytesField(field::mapKey, "value");
        entry.messageField(field::mapValue, value);
        message.messageField(field::nodeAttribute, entry);
    }
    return message;
}

}  // namespace

PlatformOutcome<std::string> encodeGraphDef(const GraphModel& graph) {
    ProtobufWriter message;
    for (const auto& node : graph.nodes) {
        try {
            message.messageField(field::graphNode, nodeMessage(node));
        } catch (const EncodingFailure& failure) {
            return PlatformError{"VisionService", 500,
                                 "the node " + node.name + " cannot be encoded: it has " + failure.reason};
        }
    }
    return message.takeBytes();
}

}  // namespace lumenary::platform::vision
