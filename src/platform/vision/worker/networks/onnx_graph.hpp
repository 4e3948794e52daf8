#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

// An ONNX model file bigger than this is refused: the largest used is
// under 11 MB.
inline constexpr std::size_t maximumOnnxModelBytes = 64 * 1024 * 1024;

// What a network needs beyond the rewrites every model gets.
struct OnnxRewrite {
    // The shape the graph's first input that is not an initializer is
    // given: the importer computes each Shape node's value from it and
    // refuses one of a size left open.
    std::optional<std::vector<std::int64_t>> inputShape;
    // The rank of the tensors the network multiplies by constant vectors.
    // ONNX lines a vector up with the last axis of the other operand; the
    // importer scales along axis 1 unless the node names another, so each
    // such Mul is given the axis `vectorScaledRank - 1`.
    std::optional<int> vectorScaledRank;
    // Whether the layers of our own (own_network_layers.hpp) stand in for
    // what OpenCV 4.6 runs slowly: each depthwise Conv whose kernel is not
    // 3x3 (filters C x 1 x H x W from a constant, group C, dilation 1, no
    // auto_pad) and fits in its padded input, where the rewrite knows the
    // input's sides (a graph input's, as declared or as `inputShape` fixes
    // them), becomes depthwiseConvolutionOperation; and each run of
    // element-wise nodes of the form Mul(scalar) -> Add(scalar) ->
    // hard-swish written out (Add 3, Clip 0..6, Mul by its input, Div 6)
    // -> Mul(scalar) -> Add(scalar), at least two of them present and each
    // result but the last used by the run alone, becomes one
    // scaledHardSwishOperation node, or is taken into the depthwise
    // convolution it follows (its numbers as that node's attributes). A
    // network read this way needs registerOwnNetworkLayers() first.
    bool ownLayers = false;
};

// The sides the ONNX model `model` declares for the input a caller feeds
// (its graph's first input that is not an initializer), each side it
// leaves open or names as 0; none when it declares no such shape, one of
// more than four sides, or it cannot be read.
std::optional<std::vector<std::int64_t>> onnxInputShape(std::string_view model);

inline constexpr std::string_view depthwiseConvolutionOperation = "LumenaryDepthwiseConvolution";
inline constexpr std::string_view scaledHardSwishOperation = "LumenaryScaledHardSwish";

// The ONNX model `model` (a serialised ModelProto) rewritten into what
// OpenCV 4.6's ONNX importer reads:
// - each Constant node becomes an initializer of its output's name (the
//   importer lines a constant added to a tensor up by the initializer's
//   rank, and only an initializer's);
// - each Clip of the main graph whose
// bounds are inputs (opset 11 and later) becomes the one-input Clip of
// opset 6, its bounds as "min" and "max" attributes, where each bound is a
// constant (an initializer or the output of a Constant node) holding one
// float; a bound left out becomes the lowest or highest float, as the
// importer would otherwise take 0 and 6. A Clip with a bound computed at
// run time is left as it is;
// - and what `rewrite` asks for.
// Every other byte is kept as it was. The file
// is hostile input: it is read one message level at a time, never
// recursing on its nesting, and any malformed field, a model without a
// graph or with two, or one larger than maximumOnnxModelBytes, is an
// error (domain "VisionService", 500) saying so.
PlatformOutcome<std::string> onnxForOpenCV(std::string_view model, const OnnxRewrite& rewrite = {});

}  // namespace lumenary::platform::vision
