#include "platform/vision/worker/networks/opencv_graph.hpp"

#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "mcp/core/base64.hpp"
#include "platform/vision/worker/networks/channels_last_graph.hpp"

namespace lumenary::platform::vision {

namespace {

using nlohmann::json;

PlatformError graphError(std::string description) {
    return {"VisionService", 500, std::move(description)};
}

// The plain operation of a fused one; nothing for any other.
std::optional<std::string_view> plainOperation(std::string_view op) {
    if (op == "_FusedConv2D") {
        return "Conv2D";
    }
    if (op == "FusedDepthwiseConv2dNative") {
        return "DepthwiseConv2dNative";
    }
    if (op == "_FusedMatMul") {
        return "MatMul";
    }
    return std::nullopt;
}

bool isActivation(std::string_view op) {
    return op == "Relu" || op == "Relu6" || op == "Elu" || op == "Sigmoid" || op == "Tanh" || op == "LeakyRelu";
}

// The names in a fused node's "fused_ops" list; nothing when it is not one.
std::optional<std::vector<std::string>> fusedOperations(const GraphNode& node) {
    std::vector<std::string> operations;
    const auto attribute = node.attributes.find("fused_ops");
    if (attribute == node.attributes.end()) {
        return operations;
    }
    const json* names = nullptr;
    if (attribute->is_object()) {
        const auto list = attribute->find("list");
        if (list != attribute->end() && list->is_object()) {
            const auto texts = list->find("s");
            if (texts == list->end()) {
                return operations;
            }
            names = &*texts;
        }
    }
    if (names == nullptr || !names->is_array()) {
        return std::nullopt;
    }
    for (const auto& name : *names) {
        auto decoded = name.is_string() ? mcp::base64Decode(name.get_ref<const std::string&>()) : std::nullopt;
        if (!decoded) {
            return std::nullopt;
        }
        operations.push_back(std::move(*decoded));
    }
    return operations;
}

json typeAttributes(const GraphNode& node) {
    json attributes = json::object();
    if (const auto type = node.attributes.find("T"); type != node.attributes.end()) {
        attributes["T"] = *type;
    }
    return attributes;
}

class FusedSplitter {
public:
    explicit FusedSplitter(const GraphModel& graph) {
        for (const auto& node : graph.nodes) {
            names_.insert(node.name);
        }
    }

    // The nodes `fused` stands for, the last of them under its name.
    PlatformOutcome<std::vector<GraphNode>> split(GraphNode fused, std::string_view plain) {
        const auto operations = fusedOperations(fused);
        if (!operations) {
            return graphError("the node " + fused.name + " has a list of fused operations that cannot be read");
        }
        const bool biased = !operations->empty() && operations->front() == "BiasAdd";
        const std::size_t activations = operations->size() - (biased ? 1 : 0);
        if (activations > 1 || (activations == 1 && !isActivation(operations->back()))) {
            std::string names;
            for (const auto& operation : *operations) {
                names += (names.empty() ? "" : ", ") + operation;
            }
            return graphError("the node " + fused.name + " fuses operations the converter does not know: " + names);
        }
        const std::size_t plainInputs = 2;
        if (fused.inputs.size() < plainInputs + (biased ? 1 : 0)) {
            return graphError("the node " + fused.name + " has too few inputs for its fused operations");
        }

        std::vector<GraphNode> nodes;
        GraphNode base;
        base.op = std::string(plain);
        base.inputs.assign(fused.inputs.begin(), fused.inputs.begin() + plainInputs);
        for (const auto& [key, value] : fused.attributes.items()) {
            if (key != "fused_ops" && key != "num_args" && key != "epsilon" && key != "leakyrelu_alpha" &&
                key != "num_host_args") {
                base.attributes[key] = value;
            }
        }
        nodes.push_back(std::move(base));
        if (biased) {
            GraphNode bias;
            bias.op = "BiasAdd";
            bias.inputs = {"", fused.inputs[plainInputs]};
            bias.attributes = typeAttributes(fused);
            if (const auto format = fused.attributes.find("data_format"); format != fused.attributes.end()) {
                bias.attributes["data_format"] = *format;
            }
            nodes.push_back(std::move(bias));
        }
        if (activations == 1) {
            GraphNode activation;
            activation.op = operations->back();
            activation.inputs = {""};
            activation.attributes = typeAttributes(fused);
            if (activation.op == "LeakyRelu") {
                const auto alpha = fused.attributes.find("leakyrelu_alpha");
                activation.attributes["alpha"] = alpha != fused.attributes.end() ? *alpha : json{{"f", 0.2}};
            }
            nodes.push_back(std::move(activation));
        }
        // Every node but the last gets a name of its own; each feeds the next.
        for (std::size_t index = 0; index < nodes.size(); ++index) {
            nodes[index].name = index + 1 == nodes.size() ? fused.name : freshName(fused.name + "/" + nodes[index].op);
            if (index > 0) {
                nodes[index].inputs.front() = nodes[index - 1].name;
            }
        }
        return nodes;
    }

private:
    std::string freshName(const std::string& wanted) {
        std::string name = wanted;
        for (int suffix = 1; names_.contains(name); ++suffix) {
            name = wanted + "_" + std::to_string(suffix);
        }
        names_.insert(name);
        return name;
    }

    std::unordered_set<std::string> names_;
};

// The one value of a Const node of one float element.
std::optional<float> scalarConstant(const std::unordered_map<std::string_view, const GraphNode*>& nodes,
                                    std::string_view input) {
    const auto found = nodes.find(inputNodeName(input));
    if (found == nodes.end() || found->second->op != "Const" || !found->second->constant ||
        found->second->constant->type != TensorType::float32 || found->second->constant->floats.size() != 1) {
        return std::nullopt;
    }
    return found->second->constant->floats.front();
}

// The input x of Outer(Inner(x, innerBound), outerBound), the bounds in
// either order; nothing when `node` is not that shape.
std::optional<std::string> clampedInput(const std::unordered_map<std::string_view, const GraphNode*>& nodes,
                                        const GraphNode& node, std::string_view innerOp, float innerBound,
                                        float outerBound) {
    if (node.inputs.size() != 2) {
        return std::nullopt;
    }
    for (int side = 0; side < 2; ++side) {
        const auto& innerName = node.inputs[static_cast<std::size_t>(side)];
        if (scalarConstant(nodes, node.inputs[static_cast<std::size_t>(1 - side)]) != outerBound) {
            continue;
        }
        const auto inner = nodes.find(inputNodeName(innerName));
        if (inner == nodes.end() || inner->second->op != innerOp || inner->second->inputs.size() != 2 ||
            innerName.find(':') != std::string::npos) {
            continue;
        }
        const auto& innerInputs = inner->second->inputs;
        for (int innerSide = 0; innerSide < 2; ++innerSide) {
            if (scalarConstant(nodes, innerInputs[static_cast<std::size_t>(1 - innerSide)]) == innerBound) {
                return innerInputs[static_cast<std::size_t>(innerSide)];
            }
        }
    }
    return std::nullopt;
}

void rewriteClampsAsRelu6(GraphModel& graph) {
    std::unordered_map<std::string_view, const GraphNode*> nodes;
    for (const auto& node : graph.nodes) {
        nodes.emplace(node.name, &node);
    }
    std::vector<std::pair<std::size_t, std::string>> rewrites;
    for (std::size_t index = 0; index < graph.nodes.size(); ++index) {
        const auto& node = graph.nodes[index];
        std::optional<std::string> input;
        if (node.op == "Maximum") {
            input = clampedInput(nodes, node, "Minimum", 6.0f, 0.0f);
        } else if (node.op == "Minimum") {
            input = clampedInput(nodes, node, "Maximum", 0.0f, 6.0f);
        }
        if (input) {
            rewrites.emplace_back(index, std::move(*input));
        }
    }
    for (auto& [index, input] : rewrites) {
        auto& node = graph.nodes[index];
        node.op = "Relu6";
        node.inputs = {std::move(input)};
        node.attributes = typeAttributes(node);
    }
}

// The node an input names, looking through Identity nodes.
const GraphNode* sourceOf(const std::unordered_map<std::string_view, GraphNode*>& nodes, std::string_view input) {
    for (std::size_t step = 0; step <= nodes.size(); ++step) {
        const auto found = nodes.find(inputNodeName(input));
        if (found == nodes.end()) {
            return nullptr;
        }
        if (found->second->op != "Identity" || found->second->inputs.empty()) {
            return found->second;
        }
        input = found->second->inputs.front();
    }
    return nullptr;
}

const ConstantTensor* constantInput(const std::unordered_map<std::string_view, GraphNode*>& nodes,
                                    std::string_view input) {
    const GraphNode* source = sourceOf(nodes, input);
    return source != nullptr && source->op == "Const" && source->constant ? &*source->constant : nullptr;
}

// PadV2, a pad with a value, which the importer does not know: with the
// value 0 it is a Pad; with minus infinity in front of a VALID max pooling
// (how an ONNX max pooling with padding comes out) the pooling takes the
// padding itself, as an explicit padding, which the importer pads with
// minus infinity.
void rewritePadsWithValues(GraphModel& graph) {
    std::unordered_map<std::string_view, GraphNode*> nodes;
    for (auto& node : graph.nodes) {
        nodes.emplace(node.name, &node);
    }
    for (auto& node : graph.nodes) {
        if (node.op == "MaxPool" && !node.inputs.empty()) {
            const GraphNode* pad = sourceOf(nodes, node.inputs.front());
            const auto padding = node.attributes.find("padding");
            if (pad == nullptr || pad->op != "PadV2" || pad->inputs.size() != 3 || padding == node.attributes.end() ||
                *padding != json{{"s", mcp::base64Encode("VALID")}}) {
                continue;
            }
            const auto* paddings = constantInput(nodes, pad->inputs[1]);
            const auto* value = constantInput(nodes, pad->inputs[2]);
            if (paddings == nullptr || paddings->type != TensorType::int32 || paddings->integers.size() != 8 ||
                value == nullptr || value->type != TensorType::float32 || value->floats.size() != 1 ||
                !(std::isinf(value->floats.front()) && value->floats.front() < 0)) {
                continue;
            }
            json explicitPaddings = json::array();
            for (const auto size : paddings->integers) {
                explicitPaddings.push_back(std::to_string(size));
            }
            node.inputs.front() = pad->inputs.front();
            node.attributes["padding"] = json{{"s", mcp::base64Encode("EXPLICIT")}};
            node.attributes["explicit_paddings"] = json{{"list", {{"i", std::move(explicitPaddings)}}}};
        }
    }
    for (auto& node : graph.nodes) {
        if (node.op != "PadV2" || node.inputs.size() != 3) {
            continue;
        }
        const auto* value = constantInput(nodes, node.inputs[2]);
        if (value != nullptr && value->type == TensorType::float32 && value->floats.size() == 1 &&
            value->floats.front() == 0.0f) {
            node.op = "Pad";
            node.inputs.resize(2);
            node.attributes.erase("constant_values");
        }
    }
}

// The nodes `outputs` need, in their order.
PlatformOutcome<GraphModel> pruned(GraphModel graph, const std::vector<std::string>& outputs) {
    std::unordered_map<std::string_view, std::size_t> index;
    for (std::size_t position = 0; position < graph.nodes.size(); ++position) {
        index.emplace(graph.nodes[position].name, position);
    }
    std::vector<bool> needed(graph.nodes.size(), false);
    std::vector<std::size_t> waiting;
    for (const auto& output : outputs) {
        const auto found = index.find(inputNodeName(output));
        if (found == index.end()) {
            return graphError("the graph has no node " + output);
        }
        waiting.push_back(found->second);
    }
    while (!waiting.empty()) {
        const auto position = waiting.back();
        waiting.pop_back();
        if (needed[position]) {
            continue;
        }
        needed[position] = true;
        for (const auto& input : graph.nodes[position].inputs) {
            const auto found = index.find(inputNodeName(input));
            if (found == index.end()) {
                return graphError("the node " + graph.nodes[position].name + " reads the missing node " + input);
            }
            waiting.push_back(found->second);
        }
    }
    GraphModel kept;
    for (std::size_t position = 0; position < graph.nodes.size(); ++position) {
        if (needed[position]) {
            kept.nodes.push_back(std::move(graph.nodes[position]));
        }
    }
    return kept;
}

}  // namespace

PlatformOutcome<GraphModel> graphForOpenCV(GraphModel graph, const std::vector<std::string>& outputs,
                                           GraphLayout layout) {
    GraphModel split;
    FusedSplitter splitter(graph);
    for (auto& node : graph.nodes) {
        const auto plain = plainOperation(node.op);
        if (!plain) {
            split.nodes.push_back(std::move(node));
            continue;
        }
        auto nodes = splitter.split(std::move(node), *plain);
        if (!nodes) {
            return nodes.error();
        }
        for (auto& part : nodes.value()) {
            split.nodes.push_back(std::move(part));
        }
    }
    rewriteClampsAsRelu6(split);
    auto needed = pruned(std::move(split), outputs);
    if (!needed) {
        return needed;
    }
    GraphModel rewritten = std::move(needed).value();
    if (layout == GraphLayout::channelsFirst) {
        auto channelsLast = channelsLastGraph(std::move(rewritten));
        if (!channelsLast) {
            return channelsLast;
        }
        rewritten = std::move(channelsLast).value();
    }
    rewritePadsWithValues(rewritten);
    return pruned(std::move(rewritten), outputs);
}

}  // namespace lumenary::platform::vision
