#include "platform/vision/worker/networks/opencv_graph.hpp"

#include <gtest/gtest.h>

#include "platform/vision/worker/networks/test_graph_model.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::json;
using vision_test::TestGraphModel;

GraphModel readBack(const TestGraphModel& model) {
    auto graph = readGraphModel(model.modelJSON(), model.weightBytes());
    if (!graph) {
        throw std::runtime_error(graph.error().description);
    }
    return std::move(graph).value();
}

// Each node as "name = op(inputs)".
std::vector<std::string> shapeOf(const GraphModel& graph) {
    std::vector<std::string> lines;
    for (const auto& node : graph.nodes) {
        std::string line = node.name + " = " + node.op + "(";
        for (std::size_t index = 0; index < node.inputs.size(); ++index) {
            line += (index > 0 ? ", " : "") + node.inputs[index];
        }
        lines.push_back(line + ")");
    }
    return lines;
}

TEST(OpenCVGraph, FusedOperationsAreSplitAndTheLastPartKeepsTheFusedName) {
    struct Case {
        std::string op;
        json fusedOperations;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"_FusedConv2D", vision_test::textsAttribute({"BiasAdd", "Relu"}),
         {"x = Placeholder()", "w = Const()", "b = Const()", "y/Conv2D = Conv2D(x, w)", "y/BiasAdd = BiasAdd(y/Conv2D, b)",
          "y = Relu(y/BiasAdd)"}},
        {"FusedDepthwiseConv2dNative", vision_test::textsAttribute({"BiasAdd"}),
         {"x = Placeholder()", "w = Const()", "b = Const()", "y/DepthwiseConv2dNative = DepthwiseConv2dNative(x, w)",
          "y = BiasAdd(y/DepthwiseConv2dNative, b)"}},
        {"_FusedMatMul", vision_test::textsAttribute({"BiasAdd", "LeakyRelu"}),
         {"x = Placeholder()", "w = Const()", "b = Const()", "y/MatMul = MatMul(x, w)", "y/BiasAdd = BiasAdd(y/MatMul, b)",
          "y = LeakyRelu(y/BiasAdd)"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.op);
        TestGraphModel model;
        model.input("x", {1, 2});
        model.constant("w", {2, 2}, {1, 2, 3, 4});
        model.constant("b", {2}, {1, 2});
        auto attributes = vision_test::convolutionAttributes();
        attributes["fused_ops"] = testCase.fusedOperations;
        attributes["num_args"] = {{"i", "1"}};
        attributes["leakyrelu_alpha"] = {{"f", 0.25}};
        model.node("y", testCase.op, {"x", "w", "b"}, attributes);
        const auto graph = graphForOpenCV(readBack(model), {"y"});
        ASSERT_TRUE(graph) << graph.error().description;
        EXPECT_EQ(shapeOf(graph.value()), testCase.expected);
        const auto& plain = graph.value().nodes[3];
        EXPECT_FALSE(plain.attributes.contains("fused_ops"));
        EXPECT_FALSE(plain.attributes.contains("num_args"));
        EXPECT_EQ(plain.attributes["padding"], vision_test::textAttribute("VALID"));
        if (testCase.op == "_FusedMatMul") {
            EXPECT_EQ(graph.value().nodes.back().attributes["alpha"], (json{{"f", 0.25}}));
        }
    }
}

TEST(OpenCVGraph, AFusedOperationItDoesNotKnowIsAnError) {
    TestGraphModel model;
    model.input("x", {1, 2});
    model.constant("w", {2, 2}, {1, 2, 3, 4});
    auto attributes = vision_test::convolutionAttributes();
    attributes["fused_ops"] = vision_test::textsAttribute({"FusedBatchNorm", "Relu"});
    model.node("y", "_FusedConv2D", {"x", "w", "w", "w", "w", "w"}, attributes);
    const auto graph = graphForOpenCV(readBack(model), {"y"});
    ASSERT_FALSE(graph);
    EXPECT_EQ(graph.error().description,
              "the node y fuses operations the converter does not know: FusedBatchNorm, Relu");
}

TEST(OpenCVGraph, ClampsBetweenZeroAndSixBecomeRelu6AndOtherClampsStay) {
    struct Case {
        std::string outer;
        std::string inner;
        double innerBound;
        double outerBound;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"Maximum", "Minimum", 6, 0, "y = Relu6(x)"},
        {"Minimum", "Maximum", 0, 6, "y = Relu6(x)"},
        {"Maximum", "Minimum", 5, 0, "y = Maximum(inner, outerBound)"},
        {"Minimum", "Maximum", 0, 7, "y = Minimum(inner, outerBound)"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.expected);
        TestGraphModel model;
        model.input("x", {1, 2});
        model.constant("innerBound", {}, {testCase.innerBound});
        model.constant("outerBound", {}, {testCase.outerBound});
        model.node("inner", testCase.inner, {"innerBound", "x"}, {{"T", vision_test::typeAttribute("DT_FLOAT")}});
        model.node("y", testCase.outer, {"inner", "outerBound"}, {{"T", vision_test::typeAttribute("DT_FLOAT")}});
        const auto graph = graphForOpenCV(readBack(model), {"y"});
        ASSERT_TRUE(graph) << graph.error().description;
        EXPECT_EQ(shapeOf(graph.value()).back(), testCase.expected);
    }
}

TEST(OpenCVGraph, OnlyWhatTheOutputsNeedIsKeptAndAMissingOutputIsAnError) {
    TestGraphModel model;
    model.input("x", {1, 2});
    model.node("a", "Relu", {"x"});
    model.node("b", "Sigmoid", {"a:0"});
    model.node("unused", "Tanh", {"x"});
    const auto graph = graphForOpenCV(readBack(model), {"b:0"});
    ASSERT_TRUE(graph) << graph.error().description;
    EXPECT_EQ(shapeOf(graph.value()), (std::vector<std::string>{"x = Placeholder()", "a = Relu(x)", "b = Sigmoid(a:0)"}));

    const auto missing = graphForOpenCV(readBack(model), {"nowhere"});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description, "the graph has no node nowhere");

    TestGraphModel dangling;
    dangling.node("c", "Relu", {"ghost"});
    const auto broken = graphForOpenCV(readBack(dangling), {"c"});
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().description, "the node c reads the missing node ghost");
}

TEST(OpenCVGraph, AChannelsFirstGraphIsHeldChannelsLastWithItsAxesMoved) {
    TestGraphModel model;
    model.input("x", {1, 3, 8, 6});
    model.constant("paddings", {4, 2}, {0, 0, 0, 0, 1, 2, 3, 4}, vision_test::Stored::int32);
    model.constant("toLast", {4}, {0, 2, 3, 1}, vision_test::Stored::int32);
    model.constant("toFirst", {4}, {0, 3, 1, 2}, vision_test::Stored::int32);
    model.constant("axis", {}, {1}, vision_test::Stored::int32);
    model.constant("w", {1, 1, 3, 3}, std::vector<double>(9, 1.0));
    model.node("padded", "Pad", {"x", "paddings"});
    model.node("last", "Transpose", {"padded", "toLast"});
    model.node("conv", "Conv2D", {"last", "w"}, vision_test::convolutionAttributes());
    model.node("first", "Transpose", {"conv", "toFirst"});
    model.node("activated", "LeakyRelu", {"first"});
    model.node("joined", "ConcatV2", {"activated", "first", "axis"});
    const auto graph = graphForOpenCV(readBack(model), {"joined"}, GraphLayout::channelsFirst);
    ASSERT_TRUE(graph) << graph.error().description;
    EXPECT_EQ(shapeOf(graph.value()),
              (std::vector<std::string>{"x = Placeholder()", "w = Const()", "padded = Pad(x, padded/paddings/channels_last)",
                                        "last = Identity(padded)", "conv = Conv2D(last, w)", "first = Identity(conv)",
                                        "activated = LeakyRelu(first)",
                                        "joined = ConcatV2(activated, first, joined/axis/channels_last)",
                                        "padded/paddings/channels_last = Const()", "joined/axis/channels_last = Const()"}));
    EXPECT_EQ(graph.value().nodes[0].attributes["shape"]["shape"]["dim"],
              (json::array({{{"size", "1"}}, {{"size", "8"}}, {{"size", "6"}}, {{"size", "3"}}})));
    EXPECT_EQ(graph.value().nodes[8].constant->integers, (std::vector<std::int32_t>{0, 0, 1, 2, 3, 4, 0, 0}));
    EXPECT_EQ(graph.value().nodes[9].constant->integers, std::vector<std::int32_t>{3});
}

TEST(OpenCVGraph, AChannelsFirstValueSeenInAWayThatCannotMoveIsAnError) {
    TestGraphModel model;
    model.input("x", {1, 3, 8, 6});
    model.constant("shape", {2}, {3, 48}, vision_test::Stored::int32);
    model.constant("swap", {4}, {0, 1, 3, 2}, vision_test::Stored::int32);
    model.constant("w", {1, 1, 3, 3}, std::vector<double>(9, 1.0));
    model.constant("bias", {3}, {1, 2, 3});
    model.node("reshaped", "Reshape", {"x", "shape"});
    model.node("swapped", "Transpose", {"x", "swap"});
    model.node("convolved", "Conv2D", {"x", "w"}, vision_test::convolutionAttributes());
    model.node("shifted", "Add", {"x", "bias"});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"reshaped", "the channels-first node reshaped (Reshape) cannot be moved to channels-last"},
        {"swapped",
         "the channels-first node swapped (Transpose) permutes the axes in a way other than between the two layouts"},
        {"convolved", "the channels-first node convolved (Conv2D) reads its channels-first input as channels-last"},
        {"shifted", "the channels-first node shifted (Add) broadcasts a constant of more than one value"},
    };
    for (const auto& [output, description] : cases) {
        const auto graph = graphForOpenCV(readBack(model), {output}, GraphLayout::channelsFirst);
        ASSERT_FALSE(graph) << output;
        EXPECT_EQ(graph.error().description, description);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
