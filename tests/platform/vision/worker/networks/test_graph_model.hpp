#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "mcp/core/base64.hpp"

// Small TensorFlow.js graph models written by hand: the nodes of model.json
// and the weights, stored as a model would store them.
namespace lumenary::vision_test {

using nlohmann::json;

inline json typeAttribute(const char* type) {
    return {{"type", type}};
}
inline json textAttribute(const std::string& text) {
    return {{"s", mcp::base64Encode(text)}};
}
inline json integersAttribute(std::initializer_list<int> values) {
    json texts = json::array();
    for (const int value : values) {
        texts.push_back(std::to_string(value));
    }
    return {{"list", {{"i", texts}}}};
}
inline json textsAttribute(std::initializer_list<const char*> values) {
    json texts = json::array();
    for (const char* value : values) {
        texts.push_back(mcp::base64Encode(value));
    }
    return {{"list", {{"s", texts}}}};
}
inline json convolutionAttributes(const char* padding = "VALID") {
    return {{"T", typeAttribute("DT_FLOAT")},
            {"strides", integersAttribute({1, 1, 1, 1})},
            {"padding", textAttribute(padding)},
            {"data_format", textAttribute("NHWC")},
            {"dilations", integersAttribute({1, 1, 1, 1})}};
}

// How a weight is stored.
enum class Stored { float32, float16, uint8, int32 };

class TestGraphModel {
public:
    void node(const std::string& name, const std::string& op, std::vector<std::string> inputs = {},
              json attributes = json::object()) {
        json node{{"name", name}, {"op", op}, {"attr", std::move(attributes)}};
        if (!inputs.empty()) {
            node["input"] = std::move(inputs);
        }
        nodes_.push_back(std::move(node));
    }
    void input(const std::string& name, std::initializer_list<int> shape) {
        json dims = json::array();
        for (const int size : shape) {
            dims.push_back({{"size", std::to_string(size)}});
        }
        node(name, "Placeholder", {}, {{"dtype", typeAttribute("DT_FLOAT")}, {"shape", {{"shape", {{"dim", dims}}}}}});
    }
    // A Const node and its weight. uint8 stores (value - minimum) / scale.
    void constant(const std::string& name, std::vector<std::int64_t> shape, std::vector<double> values,
                  Stored stored = Stored::float32, double minimum = 0, double scale = 1) {
        const bool integer = stored == Stored::int32;
        node(name, "Const", {},
             {{"dtype", typeAttribute(integer ? "DT_INT32" : "DT_FLOAT")},
              {"value", {{"tensor", {{"dtype", integer ? "DT_INT32" : "DT_FLOAT"}}}}}});
        json weight{{"name", name}, {"shape", shape}, {"dtype", integer ? "int32" : "float32"}};
        for (const double value : values) {
            append(value, stored, minimum, scale);
        }
        if (stored == Stored::float16) {
            weight["quantization"] = {{"dtype", "float16"}};
        } else if (stored == Stored::uint8) {
            weight["quantization"] = {{"dtype", "uint8"}, {"min", minimum}, {"scale", scale}};
        }
        weights_.push_back(std::move(weight));
    }

    std::string modelJSON(const std::string& shard = "model.bin") const {
        return json{{"format", "graph-model"},
                    {"modelTopology", {{"node", nodes_}}},
                    {"weightsManifest", json::array({{{"paths", {shard}}, {"weights", weights_}}})}}
            .dump();
    }
    const std::string& weightBytes() const { return bytes_; }

    // <stem>.json and <stem>.bin in `folder`.
    void writeTo(const std::filesystem::path& folder, const std::string& stem) const {
        std::ofstream(folder / (stem + ".json")) << modelJSON(stem + ".bin");
        std::ofstream(folder / (stem + ".bin"), std::ios::binary) << bytes_;
    }

private:
    void append(double value, Stored stored, double minimum, double scale) {
        switch (stored) {
            case Stored::float32: {
                const auto single = static_cast<float>(value);
                bytes_.append(reinterpret_cast<const char*>(&single), 4);
                break;
            }
            case Stored::int32: {
                const auto integer = static_cast<std::int32_t>(value);
                bytes_.append(reinterpret_cast<const char*>(&integer), 4);
                break;
            }
            case Stored::uint8:
                bytes_.push_back(static_cast<char>(static_cast<std::uint8_t>((value - minimum) / scale + 0.5)));
                break;
            case Stored::float16: {
                const std::uint16_t half = halfOf(static_cast<float>(value));
                bytes_.append(reinterpret_cast<const char*>(&half), 2);
                break;
            }
        }
    }
    // Exact for the small values the tests use (normal numbers, ten
    // mantissa bits or fewer), and for infinities.
    static std::uint16_t halfOf(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, 4);
        const std::uint32_t sign = (bits >> 16) & 0x8000u;
        const int exponent = static_cast<int>((bits >> 23) & 0xff);
        if (exponent == 0xff) {
            return static_cast<std::uint16_t>(sign | 0x7c00u);
        }
        if (exponent == 0) {
            return static_cast<std::uint16_t>(sign);
        }
        return static_cast<std::uint16_t>(sign | static_cast<std::uint32_t>((exponent - 112) << 10) |
                                          ((bits >> 13) & 0x3ffu));
    }

    json nodes_ = json::array();
    json weights_ = json::array();
    std::string bytes_;
};

}  // namespace lumenary::vision_test
