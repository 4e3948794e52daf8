#include "platform/vision/worker/networks/graph_model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>

#include "platform/vision/worker/networks/test_graph_model.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::Stored;
using vision_test::TestGraphModel;

const GraphNode& nodeNamed(const GraphModel& graph, const std::string& name) {
    for (const auto& node : graph.nodes) {
        if (node.name == name) {
            return node;
        }
    }
    throw std::runtime_error("no node " + name);
}

TEST(GraphModel, EachStoredFormOfAWeightIsDecodedIntoItsConstNode) {
    TestGraphModel model;
    model.constant("single", {2}, {0.5, -3.25});
    model.constant("half", {2, 2}, {1.0, -2.0, 0.333251953125, 65504.0}, Stored::float16);
    model.constant("quantized", {3}, {-1.0, 0.0, 1.5}, Stored::uint8, -1.0, 0.5);
    model.constant("integers", {3}, {7, -1, 2147483647}, Stored::int32);
    model.constant("scalar", {}, {6.0});

    const auto graph = readGraphModel(model.modelJSON(), model.weightBytes());
    ASSERT_TRUE(graph) << graph.error().description;

    const auto& single = *nodeNamed(graph.value(), "single").constant;
    EXPECT_EQ(single.type, TensorType::float32);
    EXPECT_EQ(single.floats, (std::vector<float>{0.5f, -3.25f}));
    const auto& half = *nodeNamed(graph.value(), "half").constant;
    EXPECT_EQ(half.shape, (std::vector<std::int64_t>{2, 2}));
    EXPECT_EQ(half.floats, (std::vector<float>{1.0f, -2.0f, 0.333251953125f, 65504.0f}));
    EXPECT_EQ(nodeNamed(graph.value(), "quantized").constant->floats, (std::vector<float>{-1.0f, 0.0f, 1.5f}));
    const auto& integers = *nodeNamed(graph.value(), "integers").constant;
    EXPECT_EQ(integers.type, TensorType::int32);
    EXPECT_EQ(integers.integers, (std::vector<std::int32_t>{7, -1, 2147483647}));
    const auto& scalar = *nodeNamed(graph.value(), "scalar").constant;
    EXPECT_TRUE(scalar.shape.empty());
    EXPECT_EQ(scalar.floats, std::vector<float>{6.0f});
}

TEST(GraphModel, NodesKeepTheirInputsAndAttributesButNotTheirControlInputs) {
    TestGraphModel model;
    model.input("x", {1, 2, 2, 1});
    model.node("y", "Relu", {"x:0", "^x"}, {{"T", vision_test::typeAttribute("DT_FLOAT")}});
    const auto graph = readGraphModel(model.modelJSON(), "");
    ASSERT_TRUE(graph) << graph.error().description;
    const auto& relu = nodeNamed(graph.value(), "y");
    EXPECT_EQ(relu.op, "Relu");
    EXPECT_EQ(relu.inputs, std::vector<std::string>{"x:0"});
    EXPECT_EQ(relu.attributes["T"]["type"], "DT_FLOAT");
    EXPECT_FALSE(relu.constant);
    EXPECT_EQ(inputNodeName("x:0"), "x");
    EXPECT_EQ(inputNodeName("x"), "x");
}

TEST(GraphModel, HalvesReadAsTheFloatsTheyStandFor) {
    const std::vector<std::pair<std::uint16_t, float>> cases = {
        {0x0000, 0.0f},       {0x8000, -0.0f},         {0x3c00, 1.0f},
        {0xc000, -2.0f},      {0x3555, 0.333251953125f}, {0x7bff, 65504.0f},
        {0x0001, std::ldexp(1.0f, -24)}, {0x0200, std::ldexp(1.0f, -15)},
        {0x7c00, std::numeric_limits<float>::infinity()}, {0xfc00, -std::numeric_limits<float>::infinity()},
    };
    for (const auto& [bits, value] : cases) {
        SCOPED_TRACE(bits);
        EXPECT_EQ(halfToFloat(bits), value);
        EXPECT_EQ(std::signbit(halfToFloat(bits)), std::signbit(value));
    }
    EXPECT_TRUE(std::isnan(halfToFloat(0x7e00)));
}

TEST(GraphModel, TheWeightFilesAreListedInOrderAndOnlyAsPlainNames) {
    const std::string twoShards =
        R"({"modelTopology":{"node":[]},"weightsManifest":[{"paths":["a.bin","b.bin"],"weights":[]},)"
        R"({"paths":["c.bin"],"weights":[]}]})";
    const auto files = graphModelWeightFiles(twoShards);
    ASSERT_TRUE(files) << files.error().description;
    EXPECT_EQ(files.value(), (std::vector<std::string>{"a.bin", "b.bin", "c.bin"}));

    for (const std::string path : {"../a.bin", "/etc/passwd", "", "..", "."}) {
        const auto refused = graphModelWeightFiles(R"({"weightsManifest":[{"paths":[")" + path + R"("]}]})");
        ASSERT_FALSE(refused) << path;
        EXPECT_EQ(refused.error().description, "the model file names a weight file that is not a plain file name");
    }
}

constexpr float quietNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

std::string floatBytes(std::initializer_list<float> values) {
    std::string bytes;
    for (const float value : values) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return bytes;
}

// A model file with one node whose attribute holds arrays `depth` levels
// deep in all (the file, its graph, the node list, the node and its
// attributes count 5 of them).
std::string deeplyNested(std::size_t depth) {
    const std::size_t arrays = depth - 5;
    return R"({"modelTopology":{"node":[{"name":"a","op":"Relu","attr":{"T":)" + std::string(arrays, '[') +
           std::string(arrays, ']') + R"(}}]},"weightsManifest":[]})";
}

TEST(GraphModel, AModelThatCannotBeReadIsAnErrorSayingWhy) {
    const std::string node = R"({"name":"w","op":"Const"})";
    const auto withWeight = [&](const std::string& weight) {
        return R"({"modelTopology":{"node":[)" + node + R"(]},"weightsManifest":[{"paths":["m.bin"],"weights":[)" +
               weight + "]}]}";
    };
    struct Case {
        std::string modelJSON;
        std::string weights;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"not json", "", "the model file is not a JSON object"},
        {"[1, 2]", "", "the model file is not a JSON object"},
        {R"({"weightsManifest":[]})", "", "the model file has no graph"},
        {R"({"modelTopology":{"node":[]}})", "", "the model file has no weights manifest"},
        {R"({"modelTopology":{"node":[{"op":"Const"}]},"weightsManifest":[]})", "",
         "a graph node without name or operation"},
        {R"({"modelTopology":{"node":[{"name":"a","op":"Relu"},{"name":"a","op":"Relu"}]},"weightsManifest":[]})",
         "", "two graph nodes are named a"},
        {withWeight(R"({"name":"w","shape":[2],"dtype":"float32"})"), std::string(7, '\0'),
         "the weight w reaches past the end of the weight files"},
        {withWeight(R"({"name":"w","shape":[1],"dtype":"string"})"), std::string(4, '\0'),
         "the weight w has the unsupported type string"},
        {withWeight(R"({"name":"w","shape":[-1],"dtype":"float32"})"), "",
         "the weight w has a shape that is not a list of sizes"},
        {withWeight(R"({"name":"w","shape":[4294967296,4294967296],"dtype":"float32"})"), "",
         "the weight w has a shape that is not a list of sizes"},
        {withWeight(R"({"name":"w","shape":[1],"dtype":"float32","quantization":{"dtype":"uint8"}})"),
         std::string(1, '\0'), "the weight w is quantized without min and scale"},
        {withWeight(R"({"name":"w","shape":[1],"dtype":"float32","quantization":{"dtype":"int4"}})"),
         std::string(1, '\0'), "the weight w has the unsupported quantization int4"},
        {deeplyNested(65), "", "the model file nests deeper than 64 levels"},
        {deeplyNested(100000), "", "the model file nests deeper than 64 levels"},
        {withWeight(R"({"name":"w","shape":[2],"dtype":"float32"})"), floatBytes({1.0f, quietNaN}),
         "the weight w holds values that are not numbers"},
        {withWeight(R"({"name":"w","shape":[1],"dtype":"float32","quantization":{"dtype":"float16"}})"),
         std::string("\x00\x7e", 2), "the weight w holds values that are not numbers"},
        {withWeight(R"({"name":"w","shape":[1],"dtype":"float32","quantization":{"dtype":"uint8","min":0,"scale":1e38}})"),
         std::string(1, '\xff'), "the weight w holds infinite values"},
        {withWeight(R"({"name":"w","shape":[1],"dtype":"float32"})"), floatBytes({infinity}),
         "the weight w holds infinite values"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.modelJSON);
        const auto graph = readGraphModel(testCase.modelJSON, testCase.weights);
        ASSERT_FALSE(graph);
        EXPECT_EQ(graph.error().domain, "VisionService");
        EXPECT_EQ(graph.error().code, 500);
        EXPECT_EQ(graph.error().description, testCase.description);
    }
}

TEST(GraphModel, NestingUpToTheBoundAndAnInfinitePadValueAreRead) {
    // The attribute nests as deep as the bound allows; brackets inside
    // texts are no nesting.
    std::string model = deeplyNested(maximumGraphModelNesting);
    model.insert(model.find(R"("op")"), R"("doc":"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"",)");
    ASSERT_TRUE(readGraphModel(model, "")) << model;

    // A max pooling padded with minus infinity, as an ONNX model converts.
    TestGraphModel pooled;
    pooled.input("x", {1, 2, 2, 1});
    pooled.constant("paddings", {4, 2}, {0, 0, 1, 1, 1, 1, 0, 0}, Stored::int32);
    pooled.constant("value", {}, {-infinity}, Stored::float16);
    pooled.node("padded", "PadV2", {"x", "paddings", "value"});
    const auto graph = readGraphModel(pooled.modelJSON(), pooled.weightBytes());
    ASSERT_TRUE(graph) << graph.error().description;
    EXPECT_EQ(nodeNamed(graph.value(), "value").constant->floats, std::vector<float>{-infinity});

    // The same value read by anything else is refused.
    pooled.node("sum", "AddV2", {"x", "value"});
    const auto added = readGraphModel(pooled.modelJSON(), pooled.weightBytes());
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().description, "the weight value holds infinite values");
}

}  // namespace
}  // namespace lumenary::platform::vision
