// The TensorFlow.js model reader takes any model file and weight bytes (the
// input is the model file, a zero byte, then the weights), and what it
// reads the converter can rewrite and encode without failing on it. No
// weight it reads is NaN.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <string_view>

#include "fuzz_check.hpp"
#include "platform/vision/worker/networks/graph_def_encoding.hpp"
#include "platform/vision/worker/networks/graph_model.hpp"
#include "platform/vision/worker/networks/opencv_graph.hpp"

using namespace lumenary::platform::vision;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto end = input.find('\0');
    const std::string_view modelJSON = input.substr(0, end);
    const std::string_view weights = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);

    const auto files = graphModelWeightFiles(modelJSON);
    if (files) {
        for (const auto& file : files.value()) {
            LUMENARY_FUZZ_CHECK(!file.empty() && file.find('/') == std::string::npos && file != "..");
        }
    }
    auto graph = readGraphModel(modelJSON, weights);
    if (!graph) {
        return 0;
    }
    for (const auto& node : graph.value().nodes) {
        if (!node.constant) {
            continue;
        }
        const auto& shape = node.constant->shape;
        const auto elements = std::accumulate(shape.begin(), shape.end(), std::int64_t{1}, std::multiplies<>());
        LUMENARY_FUZZ_CHECK(static_cast<std::size_t>(elements) == node.constant->elementCount());
        LUMENARY_FUZZ_CHECK(node.constant->elementCount() <= weights.size());
        LUMENARY_FUZZ_CHECK(std::none_of(node.constant->floats.begin(), node.constant->floats.end(),
                                         [](float value) { return std::isnan(value); }));
    }
    (void)encodeGraphDef(graph.value());
    if (graph.value().nodes.empty()) {
        return 0;
    }
    const std::vector<std::string> outputs = {graph.value().nodes.back().name};
    for (const auto layout : {GraphLayout::channelsLast, GraphLayout::channelsFirst}) {
        const auto converted = graphForOpenCV(graph.value(), outputs, layout);
        if (converted) {
            (void)encodeGraphDef(converted.value());
        }
    }
    return 0;
}
