#include "platform/vision/worker/networks/onnx_graph.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/dnn.hpp>

#include "platform/vision/worker/networks/protobuf_reader.hpp"
#include "platform/vision/worker/networks/protobuf_writer.hpp"
#include "platform/vision/worker/text_line_detector.hpp"

namespace lumenary::platform::vision {
namespace {

// Small ONNX models written field by field, as onnx.proto numbers them.
std::string scalarTensor(const std::string& name, float value, bool raw) {
    ProtobufWriter tensor;
    tensor.varintField(2, 1);  // FLOAT
    if (raw) {
        char bytes[4];
        std::memcpy(bytes, &value, 4);
        tensor.bytesField(9, std::string_view(bytes, 4));
    } else {
        tensor.floatField(4, value);
    }
    tensor.bytesField(8, name);
    return tensor.takeBytes();
}

std::string node(const std::string& opType, const std::vector<std::string>& inputs, const std::string& output,
                 const std::string& valueTensor = {}) {
    ProtobufWriter node;
    for (const auto& input : inputs) {
        node.bytesField(1, input);
    }
    node.bytesField(2, output);
    node.bytesField(3, output + "_node");
    node.bytesField(4, opType);
    if (!valueTensor.empty()) {
        ProtobufWriter attribute;
        attribute.bytesField(1, "value");
        attribute.bytesField(5, valueTensor);
        attribute.varintField(20, 4);
        node.bytesField(5, attribute.bytes());
    }
    return node.takeBytes();
}

std::string model(const std::vector<std::string>& nodes, const std::vector<std::string>& initializers) {
    ProtobufWriter graph;
    for (const auto& each : nodes) {
        graph.bytesField(1, each);
    }
    graph.bytesField(2, "graph");
    for (const auto& each : initializers) {
        graph.bytesField(5, each);
    }
    ProtobufWriter model;
    model.varintField(1, 7);  // IR version
    model.messageField(7, graph);
    ProtobufWriter opset;
    opset.varintField(2, 11);
    model.messageField(8, opset);
    return model.takeBytes();
}

struct ReadClip {
    std::vector<std::string> inputs;
    std::optional<float> minimum;
    std::optional<float> maximum;
};

// The Clip nodes of a model, as the rewrite left them.
std::vector<ReadClip> clips(const std::string& bytes) {
    std::vector<ReadClip> found;
    ProtobufReader modelReader(bytes);
    while (const auto modelField = modelReader.next()) {
        if (modelField->number != 7) {
            continue;
        }
        ProtobufReader graphReader(modelField->bytes);
        while (const auto graphField = graphReader.next()) {
            if (graphField->number != 1) {
                continue;
            }
            ReadClip clip;
            bool isClip = false;
            ProtobufReader nodeReader(graphField->bytes);
            while (const auto nodeField = nodeReader.next()) {
                if (nodeField->number == 1) {
                    clip.inputs.emplace_back(nodeField->bytes);
                } else if (nodeField->number == 4) {
                    isClip = nodeField->bytes == "Clip";
                } else if (nodeField->number == 5) {
                    ProtobufReader attributeReader(nodeField->bytes);
                    std::string name;
                    std::optional<float> value;
                    while (const auto attributeField = attributeReader.next()) {
                        if (attributeField->number == 1) {
                            name = attributeField->bytes;
                        } else if (attributeField->number == 2) {
                            value = ProtobufReader::fixedFloat(*attributeField);
                        }
                    }
                    (name == "min" ? clip.minimum : clip.maximum) = value;
                }
            }
            if (isClip) {
                found.push_back(clip);
            }
        }
    }
    return found;
}

TEST(OnnxForOpenCV, TurnsEachClipWithConstantBoundsIntoTheOneInputFormAndLeavesTheRest) {
    constexpr float lowest = std::numeric_limits<float>::lowest();
    constexpr float highest = std::numeric_limits<float>::max();
    struct Case {
        const char* name;
        std::string model;
        std::vector<ReadClip> expected;
    };
    const std::vector<Case> cases = {
        {"bounds as initializers, raw and as float_data",
         model({node("Clip", {"x", "low", "high"}, "y")}, {scalarTensor("low", 0, true), scalarTensor("high", 6, false)}),
         {{{"x"}, 0.0F, 6.0F}}},
        {"bounds as Constant nodes",
         model({node("Constant", {}, "low", scalarTensor("", -1, true)),
                node("Constant", {}, "high", scalarTensor("", 1, false)), node("Clip", {"x", "low", "high"}, "y")},
               {}),
         {{{"x"}, -1.0F, 1.0F}}},
        {"a bound left out", model({node("Clip", {"x", "", "high"}, "y")}, {scalarTensor("high", 6, true)}),
         {{{"x"}, lowest, 6.0F}}},
        {"no upper bound", model({node("Clip", {"x", "low"}, "y")}, {scalarTensor("low", 0, true)}),
         {{{"x"}, 0.0F, highest}}},
        {"a bound computed at run time is left",
         model({node("Relu", {"z"}, "low"), node("Clip", {"x", "low", "high"}, "y")}, {scalarTensor("high", 6, true)}),
         {{{"x", "low", "high"}, std::nullopt, std::nullopt}}},
        {"a one-input Clip is left", model({node("Clip", {"x"}, "y")}, {}), {{{"x"}, std::nullopt, std::nullopt}}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto rewritten = onnxForOpenCV(testCase.model);
        ASSERT_TRUE(rewritten) << rewritten.error().description;
        const auto found = clips(rewritten.value());
        ASSERT_EQ(found.size(), testCase.expected.size());
        for (std::size_t index = 0; index < found.size(); ++index) {
            EXPECT_EQ(found[index].inputs, testCase.expected[index].inputs);
            EXPECT_EQ(found[index].minimum, testCase.expected[index].minimum);
            EXPECT_EQ(found[index].maximum, testCase.expected[index].maximum);
        }
    }
}

// What the rewrite left of a model's graph: its nodes' operations, the
// names of its initializers, the input's dimensions and each Mul's axis.
struct ReadGraph {
    std::vector<std::string> operations;
    std::vector<std::string> initializers;
    std::vector<std::int64_t> inputShape;
    std::vector<std::optional<std::int64_t>> mulAxes;
};

ReadGraph readGraph(const std::string& bytes) {
    ReadGraph read;
    ProtobufReader modelReader(bytes);
    while (const auto modelField = modelReader.next()) {
        if (modelField->number != 7) {
            continue;
        }
        ProtobufReader graphReader(modelField->bytes);
        while (const auto graphField = graphReader.next()) {
            if (graphField->number == 5) {
                ProtobufReader tensor(graphField->bytes);
                std::string name;
                while (const auto field = tensor.next()) {
                    if (field->number == 8) {
                        name = field->bytes;
                    }
                }
                read.initializers.push_back(name);
            } else if (graphField->number == 11) {
                // ValueInfoProto.type.tensor_type.shape.dim.dim_value
                std::vector<std::string_view> level{graphField->bytes};
                for (const int number : {2, 1, 2}) {
                    std::vector<std::string_view> next;
                    for (const auto message : level) {
                        ProtobufReader reader(message);
                        while (const auto field = reader.next()) {
                            if (field->number == number) {
                                next.push_back(field->bytes);
                            }
                        }
                    }
                    level = next;
                }
                for (const auto shape : level) {
                    ProtobufReader reader(shape);
                    while (const auto dimension = reader.next()) {
                        ProtobufReader value(dimension->bytes);
                        while (const auto field = value.next()) {
                            if (field->number == 1) {
                                read.inputShape.push_back(static_cast<std::int64_t>(field->value));
                            }
                        }
                    }
                }
            } else if (graphField->number == 1) {
                ProtobufReader nodeReader(graphField->bytes);
                std::string operation;
                std::optional<std::int64_t> axis;
                while (const auto field = nodeReader.next()) {
                    if (field->number == 4) {
                        operation = field->bytes;
                    } else if (field->number == 5) {
                        ProtobufReader attribute(field->bytes);
                        std::string name;
                        std::int64_t value = 0;
                        while (const auto part = attribute.next()) {
                            if (part->number == 1) {
                                name = part->bytes;
                            } else if (part->number == 3) {
                                value = static_cast<std::int64_t>(part->value);
                            }
                        }
                        if (name == "axis") {
                            axis = value;
                        }
                    }
                }
                read.operations.push_back(operation);
                if (operation == "Mul") {
                    read.mulAxes.push_back(axis);
                }
            }
        }
    }
    return read;
}

std::string vectorTensor(const std::string& name, const std::vector<float>& values) {
    ProtobufWriter tensor;
    ProtobufWriter dims;
    dims.packedVarint(values.size());
    tensor.bytesField(1, dims.bytes());
    tensor.varintField(2, 1);
    for (const float value : values) {
        tensor.floatField(4, value);
    }
    tensor.bytesField(8, name);
    return tensor.takeBytes();
}

std::string inputInfo(const std::string& name) {
    ProtobufWriter dimension;
    dimension.bytesField(2, "batch");
    ProtobufWriter shape;
    shape.messageField(1, dimension);
    ProtobufWriter tensorType;
    tensorType.varintField(1, 1);
    tensorType.messageField(2, shape);
    ProtobufWriter type;
    type.messageField(1, tensorType);
    ProtobufWriter info;
    info.bytesField(1, name);
    info.messageField(2, type);
    return info.takeBytes();
}

TEST(OnnxForOpenCV, MovesConstantsToInitializersAndGivesTheInputAndVectorProductsWhatTheNetworkNeeds) {
    // The graph: input "x" (its batch left open), a Constant vector, a Mul
    // of x by it and a Mul by a scalar.
    ProtobufWriter graph;
    graph.bytesField(1, node("Constant", {}, "gamma", vectorTensor("", {1, 2, 3})));
    graph.bytesField(1, node("Mul", {"x", "gamma"}, "y"));
    graph.bytesField(1, node("Mul", {"y", "two"}, "z"));
    graph.bytesField(5, scalarTensor("two", 2, true));
    graph.bytesField(11, inputInfo("two"));
    graph.bytesField(11, inputInfo("x"));
    ProtobufWriter modelWriter;
    modelWriter.messageField(7, graph);
    const std::string original = modelWriter.bytes();

    struct Case {
        const char* name;
        OnnxRewrite rewrite;
        std::vector<std::int64_t> inputShape;
        std::vector<std::optional<std::int64_t>> mulAxes;
    };
    const std::vector<Case> cases{
        {"nothing asked", {}, {}, {std::nullopt, std::nullopt}},
        {"a fixed input", {std::vector<std::int64_t>{1, 3, 48, 320}, std::nullopt}, {1, 3, 48, 320},
         {std::nullopt, std::nullopt}},
        {"vectors scaling 3-D tensors", {std::nullopt, 3}, {}, {2, std::nullopt}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto rewritten = onnxForOpenCV(original, testCase.rewrite);
        ASSERT_TRUE(rewritten) << rewritten.error().description;
        const ReadGraph read = readGraph(rewritten.value());
        EXPECT_EQ(read.operations, (std::vector<std::string>{"Mul", "Mul"}));
        EXPECT_EQ(read.initializers, (std::vector<std::string>{"gamma", "two"}));
        if (!testCase.inputShape.empty()) {
            EXPECT_EQ(read.inputShape, testCase.inputShape);
        }
        EXPECT_EQ(read.mulAxes, testCase.mulAxes);
    }
    const auto withoutInput = onnxForOpenCV(model({node("Relu", {"x"}, "y")}, {}), {std::vector<std::int64_t>{1}, {}});
    ASSERT_FALSE(withoutInput);
    EXPECT_EQ(withoutInput.error().description, "the ONNX model is malformed: it has no input to give a shape");
}

TEST(OnnxForOpenCV, RefusesMalformedModelsWithAnErrorSayingWhy) {
    const std::string good = model({node("Clip", {"x", "low", "high"}, "y")}, {scalarTensor("low", 0, true)});
    ProtobufWriter twoGraphs;
    twoGraphs.bytesField(7, "");
    twoGraphs.bytesField(7, "");
    ProtobufWriter badNode;
    badNode.bytesField(1, std::string("\x0a\xff", 2));
    ProtobufWriter badNodeModel;
    badNodeModel.messageField(7, badNode);
    struct Case {
        const char* name;
        std::string model;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"cut short", good.substr(0, good.size() - 3), "its fields cannot be read"},
        {"a length past the end", std::string("\x3a\x80\x80\x80\x80\x10", 6), "its fields cannot be read"},
        {"a varint of eleven bytes", std::string("\x08") + std::string(10, '\xff') + "\x01", "its fields cannot be read"},
        {"a group", std::string("\x0b\x0c", 2), "its fields cannot be read"},
        {"field number zero", std::string("\x00\x01", 2), "its fields cannot be read"},
        {"no graph", std::string("\x08\x07", 2), "it holds no graph"},
        {"two graphs", twoGraphs.bytes(), "it holds more than one graph"},
        {"a node cut short", badNodeModel.bytes(), "a node's fields cannot be read"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto rewritten = onnxForOpenCV(testCase.model);
        ASSERT_FALSE(rewritten);
        EXPECT_EQ(rewritten.error().domain, "VisionService");
        EXPECT_EQ(rewritten.error().description, "the ONNX model is malformed: " + testCase.reason);
    }
}

TEST(OnnxForOpenCV, MakesTheFetchedTextDetectorLoadableByOpenCV) {
    std::ifstream file(textNetworksFolder() / "ch_PP-OCRv4_det_infer.onnx", std::ios::binary);
    ASSERT_TRUE(file) << "run scripts/setup to fetch the text networks";
    std::stringstream bytes;
    bytes << file.rdbuf();
    const std::string original = bytes.str();
    EXPECT_ANY_THROW(cv::dnn::readNetFromONNX(original.data(), original.size()));
    const auto rewritten = onnxForOpenCV(original);
    ASSERT_TRUE(rewritten) << rewritten.error().description;
    cv::dnn::Net net = cv::dnn::readNetFromONNX(rewritten.value().data(), rewritten.value().size());
    net.setInput(cv::Mat(std::vector<int>{1, 3, 64, 96}, CV_32F, cv::Scalar(0)));
    const cv::Mat probabilities = net.forward();
    ASSERT_EQ(probabilities.dims, 4);
    EXPECT_EQ(probabilities.size[2], 64);
    EXPECT_EQ(probabilities.size[3], 96);
}

}  // namespace
}  // namespace lumenary::platform::vision
