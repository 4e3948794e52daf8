#include <gtest/gtest.h>

#include <limits>

#include "platform/vision/worker/networks/graph_def_encoding.hpp"
#include "platform/vision/worker/networks/test_graph_model.hpp"
#include "platform/vision/worker/networks/vision_network_store.hpp"
#include "support/temporary_directory.hpp"

// Small graphs written as TensorFlow.js would write them, converted, loaded
// by OpenCV and run: what comes out is what TensorFlow would compute.
namespace lumenary::platform::vision {
namespace {

using vision_test::json;
using vision_test::Stored;
using vision_test::TestGraphModel;

std::vector<float> valuesOf(const cv::Mat& output) {
    const cv::Mat flat = output.reshape(1, 1);
    return std::vector<float>(flat.begin<float>(), flat.end<float>());
}

class ConvertedNetwork : public ::testing::Test {
protected:
    std::vector<cv::Mat> run(const TestGraphModel& model, const VisionNetworkDescription& description,
                             const cv::Mat& input) {
        model.writeTo(folder_.path(), description.name);
        auto network = loadVisionNetwork(folder_.path(), description);
        if (!network) {
            throw std::runtime_error(network.error().description);
        }
        return network.value()->run(input);
    }

    testing::TemporaryDirectory folder_;
};

// An N x C x H x W blob of the values, row by row.
cv::Mat blob(std::vector<int> shape, std::vector<float> values) {
    cv::Mat input(static_cast<int>(shape.size()), shape.data(), CV_32F);
    std::copy(values.begin(), values.end(), input.begin<float>());
    return input;
}

TEST_F(ConvertedNetwork, AFusedConvolutionWithBiasAndActivationComputesAsTensorFlowWould) {
    TestGraphModel model;
    model.input("image", {1, 2, 2, 1});
    // 1 x 1 kernel, one input channel, two outputs: x and -x.
    model.constant("filter", {1, 1, 1, 2}, {1.0, -1.0}, Stored::float16);
    model.constant("bias", {2}, {0.5, 0.5});
    auto attributes = vision_test::convolutionAttributes();
    attributes["fused_ops"] = vision_test::textsAttribute({"BiasAdd", "Relu"});
    model.node("features/Relu", "_FusedConv2D", {"image", "filter", "bias"}, attributes);
    model.node("output", "Identity", {"features/Relu"});

    const auto outputs = run(model, {"fused", {"output"}}, blob({1, 1, 2, 2}, {1, 2, 3, 4}));
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(valuesOf(outputs[0]), (std::vector<float>{1.5f, 2.5f, 3.5f, 4.5f, 0, 0, 0, 0}));
}

TEST_F(ConvertedNetwork, AConvolutionWhoseOutputIsItsBiasAddIsReadUnderTheBiasAddsName) {
    TestGraphModel model;
    model.input("image", {1, 1, 1, 1});
    model.constant("filter", {1, 1, 1, 1}, {2.0});
    model.constant("bias", {1}, {-1.0});
    auto attributes = vision_test::convolutionAttributes();
    attributes["fused_ops"] = vision_test::textsAttribute({"BiasAdd"});
    model.node("head/BiasAdd", "_FusedConv2D", {"image", "filter", "bias"}, attributes);

    const auto outputs = run(model, {"biased", {"head/BiasAdd"}}, blob({1, 1, 1, 1}, {3}));
    EXPECT_EQ(valuesOf(outputs.at(0)), std::vector<float>{5.0f});
}

TEST_F(ConvertedNetwork, AProductWithBiasThenAClampToSixComputesAsTensorFlowWould) {
    TestGraphModel model;
    model.input("vector", {1, 3});
    model.constant("weights", {3, 2}, {1, 0, 0, 1, 1, 1}, Stored::uint8, 0.0, 1.0);
    model.constant("bias", {2}, {3, -10});
    model.constant("six", {}, {6});
    model.constant("zero", {}, {0});
    auto attributes = json{{"T", vision_test::typeAttribute("DT_FLOAT")},
                           {"transpose_a", {{"b", false}}},
                           {"transpose_b", {{"b", false}}},
                           {"fused_ops", vision_test::textsAttribute({"BiasAdd"})}};
    model.node("dense", "_FusedMatMul", {"vector", "weights", "bias"}, attributes);
    model.node("capped", "Minimum", {"dense", "six"}, {{"T", vision_test::typeAttribute("DT_FLOAT")}});
    model.node("clamped", "Maximum", {"capped", "zero"}, {{"T", vision_test::typeAttribute("DT_FLOAT")}});

    // (1, 2, 3) gives (4, 5) + (3, -10) = (7, -5), clamped to (6, 0).
    const auto outputs = run(model, {"dense", {"clamped"}}, blob({1, 3}, {1, 2, 3}));
    EXPECT_EQ(valuesOf(outputs.at(0)), (std::vector<float>{6.0f, 0.0f}));
}

TEST_F(ConvertedNetwork, AChannelsFirstGraphComputesAsTensorFlowWould) {
    TestGraphModel model;
    model.input("input", {1, 1, 2, 2});
    model.constant("paddings", {4, 2}, {0, 0, 0, 0, 1, 1, 1, 1}, Stored::int32);
    model.constant("toLast", {4}, {0, 2, 3, 1}, Stored::int32);
    model.constant("toFirst", {4}, {0, 3, 1, 2}, Stored::int32);
    // 3 x 3: the centre and ten times the top left.
    model.constant("filter", {3, 3, 1, 1}, {10, 0, 0, 0, 1, 0, 0, 0, 0});
    model.constant("minusInfinity", {}, {-std::numeric_limits<double>::infinity()}, Stored::float16);
    model.constant("axis", {}, {1}, Stored::int32);
    model.node("padded", "Pad", {"input", "paddings"});
    model.node("padded/last", "Transpose", {"padded", "toLast"});
    model.node("convolved", "Conv2D", {"padded/last", "filter"}, vision_test::convolutionAttributes());
    model.node("convolved/first", "Transpose", {"convolved", "toFirst"});
    model.node("activated", "LeakyRelu", {"convolved/first"}, {{"alpha", {{"f", 0.5}}}});
    model.node("poolPadded", "PadV2", {"activated", "paddings", "minusInfinity"});
    model.node("poolPadded/last", "Transpose", {"poolPadded", "toLast"});
    model.node("pooled", "MaxPool", {"poolPadded/last"},
               {{"ksize", vision_test::integersAttribute({1, 3, 3, 1})},
                {"strides", vision_test::integersAttribute({1, 1, 1, 1})},
                {"padding", vision_test::textAttribute("VALID")},
                {"data_format", vision_test::textAttribute("NHWC")}});
    model.node("pooled/first", "Transpose", {"pooled", "toFirst"});
    model.node("joined", "ConcatV2", {"activated", "pooled/first", "axis"});

    // Convolved: -1, -2, -3, -4 - 10; activated: -0.5, -1, -1.5, -7; every
    // 3 x 3 window of the pooling holds all four, and its padding is minus
    // infinity: -0.5 everywhere (a padding of 0 would give 0).
    const auto outputs = run(model, {"layout", {"joined"}, GraphLayout::channelsFirst},
                             blob({1, 1, 2, 2}, {-1, -2, -3, -4}));
    EXPECT_EQ(valuesOf(outputs.at(0)), (std::vector<float>{-0.5f, -1, -1.5f, -7, -0.5f, -0.5f, -0.5f, -0.5f}));
}

TEST_F(ConvertedNetwork, AGraphOpenCVRefusesFailsToLoadWithTheReason) {
    TestGraphModel model;
    model.input("input", {1, 2});
    model.node("strange", "Bucketize", {"input"});
    model.writeTo(folder_.path(), "strange");
    const auto network = loadVisionNetwork(folder_.path(), {"strange", {"strange"}});
    ASSERT_FALSE(network);
    EXPECT_EQ(network.error().code, 500);
    EXPECT_NE(network.error().description.find("OpenCV refused the converted graph"), std::string::npos)
        << network.error().description;
}

// The encoding itself, byte for byte, on one node: TensorFlow's field
// numbers and protobuf's wire format.
TEST(GraphDefEncoding, ANodeIsWrittenInTheWireFormat) {
    GraphModel graph;
    GraphNode node;
    node.name = "c";
    node.op = "Const";
    node.attributes = json{{"dtype", {{"type", "DT_INT32"}}}};
    node.constant = ConstantTensor{TensorType::int32, {}, {}, {-1}};
    graph.nodes.push_back(node);
    const auto encoded = encodeGraphDef(graph);
    ASSERT_TRUE(encoded) << encoded.error().description;
    // GraphDef.node (1) { name (1) "c", op (2) "Const", attr (5) { "dtype": type 3 },
    // attr (5) { "value": tensor { dtype 3, shape {}, int_val [-1] } } }
    const std::string dtype = std::string("\x0a\x05" "dtype" "\x12\x02\x30\x03", 11);
    const std::string minusOne = "\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01";
    const std::string tensor = std::string("\x08\x03\x12\x00\x3a\x0a", 6) + minusOne;
    const std::string value = std::string("\x0a\x05" "value" "\x12", 8) + char(tensor.size() + 2) + "\x42" +
                              char(tensor.size()) + tensor;
    const std::string nodeBytes = std::string("\x0a\x01" "c" "\x12\x05" "Const", 10) + "\x2a" + char(dtype.size()) +
                                  dtype + "\x2a" + char(value.size()) + value;
    EXPECT_EQ(encoded.value(), "\x0a" + std::string(1, char(nodeBytes.size())) + nodeBytes);

    graph.nodes.front().attributes = json{{"dtype", {{"type", "DT_NOT_A_TYPE"}}}};
    const auto refused = encodeGraphDef(graph);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().description, "the node c cannot be encoded: it has an unknown element type");
}

}  // namespace
}  // namespace lumenary::platform::vision
