#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

// A TensorFlow.js graph model as its files hold it: `model.json` (the
// TensorFlow graph in TensorFlow's JSON mapping, and a manifest of the
// weights) and the weight shards, whose bytes follow each other in the
// manifest's order. Each weight is the value of the Const node of its name.

// TensorFlow's numbers for the element types a constant holds here.
enum class TensorType : int { float32 = 1, int32 = 3 };

// A constant's value, decoded from its stored form (float32, float16, or
// uint8/uint16 with a linear scale; int32).
struct ConstantTensor {
    TensorType type = TensorType::float32;
    std::vector<std::int64_t> shape;
    std::vector<float> floats;           // when type is float32
    std::vector<std::int32_t> integers;  // when type is int32

    std::size_t elementCount() const { return type == TensorType::float32 ? floats.size() : integers.size(); }
};

struct GraphNode {
    std::string name;
    std::string op;
    // "node" or "node:output"; control inputs ("^node") are left out.
    std::vector<std::string> inputs;
    // The node's "attr" object as TensorFlow's JSON mapping writes it
    // ({"T": {"type": "DT_FLOAT"}, "strides": {"list": {"i": ["1", ...]}}}).
    nlohmann::json attributes = nlohmann::json::object();
    // A Const node's value, from the weights.
    std::optional<ConstantTensor> constant;
};

struct GraphModel {
    std::vector<GraphNode> nodes;
};

// A model file or its weights bigger than this are refused: the largest
// model used is under 10 MB of weights and 250 kB of graph.
inline constexpr std::size_t maximumGraphModelJSONBytes = 16 * 1024 * 1024;
inline constexpr std::size_t maximumGraphModelWeightBytes = 256 * 1024 * 1024;
// A model file whose arrays and objects nest deeper than this is refused
// before it is parsed: the package's models nest 11 deep.
inline constexpr std::size_t maximumGraphModelNesting = 64;

// The weight shard file names that `model.json` lists, in order. Only plain
// file names are accepted (no folder, no "..": the shards lie beside the
// model file). Errors (domain "VisionService", 500) say what is wrong.
PlatformOutcome<std::vector<std::string>> graphModelWeightFiles(std::string_view modelJSON);

// The graph of `model.json` with every weight decoded into its Const node.
// `weights` is the shards' bytes, one after the other. Never throws; any
// malformed or inconsistent input (a weight past the end of the bytes, a
// shape whose size overflows, an unknown type, a weight that is not a
// number, or infinite anywhere but as the value a PadV2 pads with) is an
// error naming it.
PlatformOutcome<GraphModel> readGraphModel(std::string_view modelJSON, std::string_view weights);

// The node that "node:1" or "node" names.
std::string_view inputNodeName(std::string_view input);

// The float that IEEE half-precision `bits` stands for.
float halfToFloat(std::uint16_t bits);

}  // namespace lumenary::platform::vision
