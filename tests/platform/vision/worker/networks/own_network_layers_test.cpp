#include "platform/vision/worker/networks/own_network_layers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/networks/onnx_graph.hpp"
#include "platform/vision/worker/networks/protobuf_reader.hpp"
#include "platform/vision/worker/networks/protobuf_writer.hpp"
#include "platform/vision/worker/onnx_network_loader.hpp"
#include "platform/vision/worker/text_line_detector.hpp"

namespace lumenary::platform::vision {
// Named, as the unity build joins this file with others of the same helper
// names.
namespace own_network_layers_test {

// ONNX models written field by field, as onnx.proto numbers them.
std::string floatTensor(const std::string& name, const std::vector<int>& dimensions, const std::vector<float>& values) {
    ProtobufWriter tensor;
    for (const int dimension : dimensions) {
        tensor.varintField(1, static_cast<std::uint64_t>(dimension));
    }
    tensor.varintField(2, 1);  // FLOAT
    tensor.bytesField(8, name);
    tensor.bytesField(9, std::string_view(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float)));
    return tensor.takeBytes();
}

std::string scalar(const std::string& name, float value) {
    return floatTensor(name, {}, {value});
}

std::string integersAttribute(const std::string& name, const std::vector<int>& values) {
    ProtobufWriter attribute;
    attribute.bytesField(1, name);
    for (const int value : values) {
        attribute.varintField(8, static_cast<std::uint64_t>(value));
    }
    attribute.varintField(20, 7);  // INTS
    return attribute.takeBytes();
}

std::string integerAttribute(const std::string& name, int value) {
    ProtobufWriter attribute;
    attribute.bytesField(1, name);
    attribute.varintField(3, static_cast<std::uint64_t>(value));
    attribute.varintField(20, 2);  // INT
    return attribute.takeBytes();
}

std::string floatAttribute(const std::string& name, float value) {
    ProtobufWriter attribute;
    attribute.bytesField(1, name);
    attribute.floatField(2, value);
    attribute.varintField(20, 1);  // FLOAT
    return attribute.takeBytes();
}

std::string node(const std::string& opType, const std::vector<std::string>& inputs, const std::string& output,
                 const std::vector<std::string>& attributes = {}) {
    ProtobufWriter node;
    for (const auto& input : inputs) {
        node.bytesField(1, input);
    }
    node.bytesField(2, output);
    node.bytesField(3, output);
    node.bytesField(4, opType);
    for (const auto& attribute : attributes) {
        node.bytesField(5, attribute);
    }
    return node.takeBytes();
}

std::string valueInfo(const std::string& name, const std::vector<int>& dimensions) {
    ProtobufWriter shape;
    for (const int side : dimensions) {
        ProtobufWriter dimension;
        dimension.varintField(1, static_cast<std::uint64_t>(side));
        shape.messageField(1, dimension);
    }
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

// A model of `nodes` reading "x" of `inputShape` and giving "y".
std::string model(const std::vector<std::string>& nodes, const std::vector<std::string>& initializers,
                  const std::vector<int>& inputShape, int opset) {
    ProtobufWriter graph;
    for (const auto& each : nodes) {
        graph.bytesField(1, each);
    }
    graph.bytesField(2, "graph");
    for (const auto& each : initializers) {
        graph.bytesField(5, each);
    }
    graph.bytesField(11, valueInfo("x", inputShape));
    graph.bytesField(12, valueInfo("y", {}));
    ProtobufWriter model;
    model.varintField(1, 7);
    model.messageField(7, graph);
    ProtobufWriter version;
    version.varintField(2, static_cast<std::uint64_t>(opset));
    model.messageField(8, version);
    return model.takeBytes();
}

std::vector<float> randomValues(std::size_t count, float range) {
    cv::Mat values(1, static_cast<int>(count), CV_32F);
    cv::randu(values, -range, range);
    return {values.begin<float>(), values.end<float>()};
}

// The operations of a model's nodes in order.
std::vector<std::string> operations(const std::string& bytes) {
    std::vector<std::string> found;
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
            ProtobufReader nodeReader(graphField->bytes);
            while (const auto field = nodeReader.next()) {
                if (field->number == 4) {
                    found.emplace_back(field->bytes);
                }
            }
        }
    }
    return found;
}

// The output of `model`, rewritten as asked, for `input`.
cv::Mat outputOf(const std::string& model, bool ownLayers, const cv::Mat& input) {
    registerOwnNetworkLayers();
    const auto rewritten = onnxForOpenCV(model, {.inputShape = {}, .vectorScaledRank = {}, .ownLayers = ownLayers});
    EXPECT_TRUE(rewritten);
    if (!rewritten) {
        return {};
    }
    cv::dnn::Net net = cv::dnn::readNetFromONNX(rewritten.value().data(), rewritten.value().size());
    net.setInput(input);
    return net.forward().clone();
}

TEST(OwnNetworkLayers, DepthwiseConvolutionGivesWhatOpenCVsConvolutionGives) {
    struct Case {
        const char* name;
        int channels;
        int height;
        int width;
        std::vector<int> kernel;
        std::vector<int> strides;
        std::vector<int> pads;  // top, left, bottom, right
        bool bias;
        bool depthwise;
        const char* expectedOperation;
    };
    const std::string ours(depthwiseConvolutionOperation);
    const std::vector<Case> cases{
        {"5x5, stride 1", 4, 12, 37, {5, 5}, {1, 1}, {2, 2, 2, 2}, true, true, ours.c_str()},
        {"7x7, stride 2, odd sides", 3, 13, 41, {7, 7}, {2, 2}, {3, 3, 3, 3}, true, true, ours.c_str()},
        {"3x5, stride (2,1), pads uneven", 5, 9, 21, {3, 5}, {2, 1}, {1, 2, 0, 1}, true, true, ours.c_str()},
        {"5x5, stride (2,1), no bias", 2, 12, 80, {5, 5}, {2, 1}, {2, 2, 2, 2}, false, true, ours.c_str()},
        {"4x4 (no unrolled width), stride (1,3)", 3, 11, 29, {4, 4}, {1, 3}, {1, 2, 2, 1}, true, true, ours.c_str()},
        {"no padding, narrower than a vector", 2, 7, 6, {5, 5}, {1, 1}, {0, 0, 0, 0}, true, true, ours.c_str()},
        {"3x3 is left to OpenCV", 4, 8, 20, {3, 3}, {1, 1}, {1, 1, 1, 1}, true, true, "Conv"},
        {"not depthwise is left to OpenCV", 3, 8, 20, {5, 5}, {1, 1}, {2, 2, 2, 2}, true, false, "Conv"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const int perFilter = testCase.depthwise ? 1 : testCase.channels;
        const auto filterCount =
            static_cast<std::size_t>(testCase.channels * perFilter * testCase.kernel[0] * testCase.kernel[1]);
        std::vector<std::string> initializers{floatTensor(
            "w", {testCase.channels, perFilter, testCase.kernel[0], testCase.kernel[1]}, randomValues(filterCount, 1))};
        std::vector<std::string> inputs{"x", "w"};
        if (testCase.bias) {
            initializers.push_back(
                floatTensor("b", {testCase.channels}, randomValues(static_cast<std::size_t>(testCase.channels), 1)));
            inputs.emplace_back("b");
        }
        const std::string convolution = model(
            {node("Conv", inputs, "y",
                  {integersAttribute("kernel_shape", testCase.kernel), integersAttribute("strides", testCase.strides),
                   integersAttribute("pads", testCase.pads), integersAttribute("dilations", {1, 1}),
                   integerAttribute("group", testCase.depthwise ? testCase.channels : 1)})},
            initializers, {1, testCase.channels, testCase.height, testCase.width}, 11);

        const auto rewritten =
            onnxForOpenCV(convolution, {.inputShape = {}, .vectorScaledRank = {}, .ownLayers = true});
        ASSERT_TRUE(rewritten);
        EXPECT_EQ(operations(rewritten.value()), std::vector<std::string>{testCase.expectedOperation});
        cv::Mat input(std::vector<int>{1, testCase.channels, testCase.height, testCase.width}, CV_32F);
        cv::randu(input, -1, 1);
        const cv::Mat expected = outputOf(convolution, false, input);
        const cv::Mat actual = outputOf(convolution, true, input);
        ASSERT_EQ(actual.dims, 4);
        for (int axis = 0; axis < 4; ++axis) {
            EXPECT_EQ(actual.size[axis], expected.size[axis]);
        }
        EXPECT_LT(vision_test::largestDifference(expected, actual), 1e-5);
    }
}

TEST(OwnNetworkLayers, DepthwiseConvolutionRefusesAKernelPastItsPaddedInput) {
    // The input's height or width is the kernel's, less the pads, give or
    // take up to a stride: an overhang shorter than the stride rounds to an
    // output side of 1 when divided towards zero.
    struct Case {
        int stride;
        bool acrossHeight;
        int overhang;
    };
    std::vector<Case> cases;
    for (int stride = 1; stride <= 4; ++stride) {
        for (const bool acrossHeight : {true, false}) {
            for (int overhang = -stride; overhang <= stride; ++overhang) {
                cases.push_back({stride, acrossHeight, overhang});
            }
        }
    }
    const int channels = 2;
    const std::vector<int> kernel{9, 7};
    const std::vector<int> pads{0, 1, 2, 0};  // top, left, bottom, right
    const std::vector<std::string> constants{floatTensor("w", {channels, 1, 9, 7}, randomValues(channels * 9 * 7, 1)),
                                             floatTensor("b", {channels}, randomValues(channels, 1))};
    const std::string ours(depthwiseConvolutionOperation);
    for (const auto& testCase : cases) {
        // The other side wide enough for the vector loops.
        const int height = testCase.acrossHeight ? kernel[0] - pads[0] - pads[2] - testCase.overhang : 12;
        const int width = testCase.acrossHeight ? 40 : kernel[1] - pads[1] - pads[3] - testCase.overhang;
        const std::vector<int> strides{testCase.acrossHeight ? testCase.stride : 1,
                                       testCase.acrossHeight ? 1 : testCase.stride};
        SCOPED_TRACE(::testing::Message() << height << "x" << width << ", stride " << strides[0] << "x" << strides[1]);
        const bool fits = testCase.overhang <= 0;
        const std::vector<int> shape{1, channels, height, width};
        const auto written = [&](const std::vector<int>& declared) {
            return model({node("Conv", {"x", "w", "b"}, "y",
                               {integersAttribute("kernel_shape", kernel), integersAttribute("strides", strides),
                                integersAttribute("pads", pads), integerAttribute("group", channels)})},
                         constants, declared, 11);
        };
        // Where the rewrite knows the input's sides, as declared or fixed,
        // OpenCV is left what does not fit.
        const std::vector<std::string> expected{fits ? ours : "Conv"};
        const auto declared = onnxForOpenCV(written(shape), {.inputShape = {}, .vectorScaledRank = {}, .ownLayers = true});
        const auto fixed = onnxForOpenCV(written({1, channels, 0, 0}),
                                         {.inputShape = std::vector<std::int64_t>(shape.begin(), shape.end()),
                                          .vectorScaledRank = {},
                                          .ownLayers = true});
        ASSERT_TRUE(declared && fixed);
        EXPECT_EQ(operations(declared.value()), expected);
        EXPECT_EQ(operations(fixed.value()), expected);
        // Where it does not, the layer refuses it when run.
        const std::string open = written({1, channels, 0, 0});
        cv::Mat input(shape, CV_32F);
        cv::randu(input, -1, 1);
        if (fits) {
            EXPECT_LT(vision_test::largestDifference(outputOf(open, false, input), outputOf(open, true, input)), 1e-5);
        } else {
            EXPECT_THROW(outputOf(open, true, input), cv::Exception);
        }
    }
}

TEST(OwnNetworkLayers, ElementWiseRunsBecomeOneLayerOnlyWhenNothingElseReadsWithin) {
    const std::string ours(scaledHardSwishOperation);
    const std::vector<std::string> constants{scalar("s", 0.75F),
                                             scalar("b", -0.5F),
                                             scalar("three", 3),
                                             scalar("zero", 0),
                                             scalar("six", 6),
                                             scalar("five", 5),
                                             floatTensor("depthwise", {3, 1, 5, 5}, randomValues(75, 1)),
                                             floatTensor("pointwise", {3, 3, 1, 1}, randomValues(9, 1))};
    // Our depthwise convolution takes the run after it in; OpenCV's does
    // not.
    const std::string depthwise = node("Conv", {"x", "depthwise"}, "c",
                                       {integersAttribute("kernel_shape", {5, 5}),
                                        integersAttribute("pads", {2, 2, 2, 2}), integerAttribute("group", 3)});
    const std::string pointwise = node("Conv", {"x", "pointwise"}, "c", {integersAttribute("kernel_shape", {1, 1})});
    // x -> Mul s -> Add b -> hard-swish -> Mul s -> Add b, its Clip's
    // bounds as attributes or inputs, its divisor and its last node given.
    const auto hardSwish = [](const std::string& in, bool boundsAsInputs, const std::string& divisor,
                              const std::string& out) {
        const std::string clip =
            boundsAsInputs ? node("Clip", {in + "+3", "zero", "six"}, in + "c")
                           : node("Clip", {in + "+3"}, in + "c", {floatAttribute("min", 0), floatAttribute("max", 6)});
        return std::vector<std::string>{node("Add", {in, "three"}, in + "+3"), clip,
                                        node("Mul", {in + "c", in}, in + "m"), node("Div", {in + "m", divisor}, out)};
    };
    const auto joined = [](std::vector<std::string> first, const std::vector<std::string>& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    };
    struct Case {
        const char* name;
        std::vector<std::string> nodes;
        int opset;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"scale, shift, hard-swish, scale, shift",
         joined(joined({node("Mul", {"s", "x"}, "a"), node("Add", {"a", "b"}, "h")}, hardSwish("h", false, "six", "g")),
                {node("Mul", {"g", "s"}, "k"), node("Add", {"b", "k"}, "y")}),
         9,
         {ours}},
        {"hard-swish alone, bounds as inputs", hardSwish("x", true, "six", "y"), 11, {ours}},
        {"scale and shift alone", {node("Mul", {"x", "s"}, "a"), node("Add", {"a", "b"}, "y")}, 11, {ours}},
        {"a divisor other than 6",
         joined({node("Mul", {"s", "x"}, "a"), node("Add", {"a", "b"}, "h")}, hardSwish("h", false, "five", "y")),
         9,
         {ours, "Add", "Clip", "Mul", "Div"}},
        {"x + 3 read outside the hard-swish",
         joined(hardSwish("x", false, "six", "g"), {node("Mul", {"g", "x+3"}, "y")}),
         9,
         {"Add", "Clip", "Mul", "Div", "Mul"}},
        {"after our depthwise convolution",
         joined({depthwise, node("Mul", {"s", "c"}, "a"), node("Add", {"a", "b"}, "h")},
                hardSwish("h", false, "six", "y")),
         9,
         {std::string(depthwiseConvolutionOperation)}},
        {"after OpenCV's convolution", joined({pointwise}, hardSwish("c", false, "six", "y")), 9, {"Conv", ours}},
        {"a product of two tensors", {node("Mul", {"x", "x"}, "a"), node("Add", {"a", "b"}, "y")}, 11, {"Mul", "Add"}},
        {"a lone scale", {node("Mul", {"x", "s"}, "y")}, 11, {"Mul"}},
    };
    cv::Mat input(std::vector<int>{1, 3, 5, 7}, CV_32F);
    cv::randu(input, -8, 8);
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::string written = model(testCase.nodes, constants, {1, 3, 5, 7}, testCase.opset);
        const auto rewritten = onnxForOpenCV(written, {.inputShape = {}, .vectorScaledRank = {}, .ownLayers = true});
        ASSERT_TRUE(rewritten);
        EXPECT_EQ(operations(rewritten.value()), testCase.expected);
        const auto again =
            onnxForOpenCV(rewritten.value(), {.inputShape = {}, .vectorScaledRank = {}, .ownLayers = true});
        ASSERT_TRUE(again);
        EXPECT_EQ(again.value(), rewritten.value());
        EXPECT_LT(vision_test::largestDifference(outputOf(written, false, input), outputOf(written, true, input)), 1e-5);
    }
}

TEST(OwnNetworkLayers, DepthwiseConvolutionRefusesParametersOutOfBounds) {
    registerOwnNetworkLayers();
    const std::string op(depthwiseConvolutionOperation);
    const auto filters = [](std::vector<int> dimensions) {
        std::size_t count = 1;
        for (const int side : dimensions) {
            count *= static_cast<std::size_t>(side);
        }
        return floatTensor("w", dimensions, std::vector<float>(count, 0.5F));
    };
    struct Case {
        const char* name;
        std::vector<std::string> initializers;
        std::vector<std::string> attributes;
    };
    const std::vector<Case> cases{
        {"filters of rank 3", {filters({2, 5, 5})}, {}},
        {"filters over two channels each", {filters({2, 2, 5, 5})}, {}},
        {"a bias per channel missing", {filters({2, 1, 5, 5}), floatTensor("b", {1}, {0})}, {}},
        {"stride 0", {filters({2, 1, 5, 5})}, {integersAttribute("strides", {0, 1})}},
        {"a pad beyond bounds", {filters({2, 1, 5, 5})}, {integersAttribute("pads", {1000, 0, 0, 0})}},
        {"kernel size unlike the filters'", {filters({2, 1, 5, 5})}, {integersAttribute("kernel_shape", {3, 3})}},
        {"dilation 2", {filters({2, 1, 5, 5})}, {integersAttribute("dilations", {2, 2})}},
        {"group unlike the channels", {filters({2, 1, 5, 5})}, {integerAttribute("group", 1)}},
        {"an input smaller than the kernel", {filters({2, 1, 9, 9})}, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::vector<std::string> inputs{"x", "w"};
        if (testCase.initializers.size() > 1) {
            inputs.emplace_back("b");
        }
        const std::string written =
            model({node(op, inputs, "y", testCase.attributes)}, testCase.initializers, {1, 2, 6, 6}, 11);
        EXPECT_THROW(
            {
                cv::dnn::Net net = cv::dnn::readNetFromONNX(written.data(), written.size());
                net.setInput(cv::Mat(std::vector<int>{1, 2, 6, 6}, CV_32F, cv::Scalar(1)));
                net.forward();
            },
            cv::Exception);
    }
}

TEST(OwnNetworkLayers, TextNetworksGiveTheSameOutputsWithThem) {
    struct Case {
        const char* file;
        std::vector<std::int64_t> shape;
        std::optional<int> vectorScaledRank;
        bool fuseLayers;
    };
    // Each loaded as the text readers load it.
    const std::vector<Case> cases{
        {"ch_PP-OCRv4_rec_infer.onnx", {1, 3, 48, 320}, 3, true},
        {"ch_PP-OCRv4_det_infer.onnx", {1, 3, 64, 160}, std::nullopt, false},
    };
    // A line of dark strokes on a light ground, as the networks see text.
    cv::Mat picture(48, 320, CV_8UC3, cv::Scalar(235, 235, 235));
    cv::putText(picture, "Lumenary 2026", {8, 36}, cv::FONT_HERSHEY_SIMPLEX, 1.2, cv::Scalar(20, 20, 20), 3);
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.file);
        const int height = static_cast<int>(testCase.shape[2]);
        const int width = static_cast<int>(testCase.shape[3]);
        cv::Mat sized;
        cv::resize(picture, sized, {width, height});
        const cv::Mat input = cv::dnn::blobFromImage(sized, 1 / 127.5, {}, cv::Scalar(127.5, 127.5, 127.5));
        std::vector<cv::Mat> outputs;
        for (const bool ownLayers : {false, true}) {
            auto loaded = loadedOnnxNetwork(
                textNetworksFolder() / testCase.file,
                {.rewrite = {testCase.shape, testCase.vectorScaledRank, ownLayers}, .fuseLayers = testCase.fuseLayers});
            ASSERT_TRUE(std::holds_alternative<std::unique_ptr<cv::dnn::Net>>(loaded))
                << "run scripts/setup to fetch the text networks";
            auto& net = *std::get<std::unique_ptr<cv::dnn::Net>>(loaded);
            net.setInput(input);
            outputs.push_back(net.forward().clone());
        }
        EXPECT_LT(vision_test::largestDifference(outputs[0], outputs[1]), 1e-3);
        if (outputs[0].dims == 3) {
            // The character read at each step of the sequence.
            const cv::Mat first = outputs[0].reshape(1, outputs[0].size[1]);
            const cv::Mat second = outputs[1].reshape(1, outputs[1].size[1]);
            for (int step = 0; step < first.rows; ++step) {
                cv::Point firstBest;
                cv::Point secondBest;
                cv::minMaxLoc(first.row(step), nullptr, nullptr, nullptr, &firstBest);
                cv::minMaxLoc(second.row(step), nullptr, nullptr, nullptr, &secondBest);
                EXPECT_EQ(firstBest, secondBest) << "step " << step;
            }
        }
    }
}

}  // namespace own_network_layers_test
}  // namespace lumenary::platform::vision
