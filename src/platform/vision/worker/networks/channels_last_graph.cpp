#include "platform/vision/worker/networks/channels_last_graph.hpp"

#include <array>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace lumenary::platform::vision {

namespace {

using nlohmann::json;

// How a node's 4-D value is laid out: as the original graph holds it
// channels-first (but, rewritten, held channels-last), channels-last in
// both, or not a value this pass tracks (constants, shapes).
enum class Layout { untracked, channelsFirst, channelsLast };

// Where each channels-first axis lies in channels-last order.
constexpr std::array<int, 4> channelsLastAxis = {0, 3, 1, 2};

PlatformError layoutError(const GraphNode& node, const std::string& reason) {
    return {"VisionService", 500, "the channels-first node " + node.name + " (" + node.op + ") " + reason};
}

bool isElementWise(std::string_view op) {
    static const std::unordered_set<std::string_view> ops = {
        "Add",     "AddV2", "Sub",  "Mul",   "Maximum", "Minimum", "LeakyRelu", "Relu",
        "Relu6",   "Elu",   "Tanh", "Sigmoid", "Identity", "Neg",  "Abs"};
    return ops.contains(op);
}

bool isChannelsLastOperation(std::string_view op) {
    static const std::unordered_set<std::string_view> ops = {
        "Conv2D",  "DepthwiseConv2dNative", "MaxPool", "AvgPool", "ResizeBilinear", "ResizeNearestNeighbor",
        "BiasAdd", "FusedBatchNorm",        "FusedBatchNormV3", "Conv2DBackpropInput"};
    return ops.contains(op);
}

class ChannelsLastRewriter {
public:
    explicit ChannelsLastRewriter(GraphModel graph) : graph_(std::move(graph)) {
        for (std::size_t position = 0; position < graph_.nodes.size(); ++position) {
            index_.emplace(graph_.nodes[position].name, position);
        }
    }

    PlatformOutcome<GraphModel> rewrite() {
        const auto order = topologicalOrder();
        if (!order) {
            return PlatformError{"VisionService", 500, "the graph has a cycle"};
        }
        layouts_.assign(graph_.nodes.size(), Layout::untracked);
        for (const auto position : *order) {
            if (auto failure = rewriteNode(position)) {
                return std::move(*failure);
            }
        }
        for (auto& node : added_) {
            graph_.nodes.push_back(std::move(node));
        }
        return std::move(graph_);
    }

private:
    std::optional<std::vector<std::size_t>> topologicalOrder() const {
        std::vector<std::size_t> waitingInputs(graph_.nodes.size(), 0);
        std::vector<std::vector<std::size_t>> consumers(graph_.nodes.size());
        for (std::size_t position = 0; position < graph_.nodes.size(); ++position) {
            for (const auto& input : graph_.nodes[position].inputs) {
                const auto found = index_.find(inputNodeName(input));
                if (found != index_.end()) {
                    consumers[found->second].push_back(position);
                    ++waitingInputs[position];
                }
            }
        }
        std::vector<std::size_t> ready;
        for (std::size_t position = 0; position < graph_.nodes.size(); ++position) {
            if (waitingInputs[position] == 0) {
                ready.push_back(position);
            }
        }
        std::vector<std::size_t> order;
        while (!ready.empty()) {
            const auto position = ready.back();
            ready.pop_back();
            order.push_back(position);
            for (const auto consumer : consumers[position]) {
                if (--waitingInputs[consumer] == 0) {
                    ready.push_back(consumer);
                }
            }
        }
        if (order.size() != graph_.nodes.size()) {
            return std::nullopt;
        }
        return order;
    }

    const GraphNode* node(std::string_view input) const {
        const auto found = index_.find(inputNodeName(input));
        return found == index_.end() ? nullptr : &graph_.nodes[found->second];
    }

    Layout layoutOf(std::string_view input) const {
        const auto found = index_.find(inputNodeName(input));
        return found == index_.end() ? Layout::untracked : layouts_[found->second];
    }

    const ConstantTensor* constantOf(std::string_view input) const {
        const GraphNode* source = node(input);
        if (source == nullptr || source->op != "Const" || !source->constant) {
            return nullptr;
        }
        return &*source->constant;
    }

    // A new Const node holding `tensor`, named after `basis`.
    std::string addConstant(const std::string& basis, ConstantTensor tensor) {
        GraphNode constant;
        std::string name = basis + "/channels_last";
        for (int suffix = 1; index_.contains(name) || addedNames_.contains(name); ++suffix) {
            name = basis + "/channels_last_" + std::to_string(suffix);
        }
        constant.name = name;
        constant.op = "Const";
        const char* type = tensor.type == TensorType::float32 ? "DT_FLOAT" : "DT_INT32";
        constant.attributes = json{{"dtype", {{"type", type}}}};
        constant.constant = std::move(tensor);
        added_.push_back(std::move(constant));
        addedNames_.insert(name);
        return name;
    }

    // The channels-last axis of a channels-first axis constant.
    std::optional<std::string> movedAxis(const GraphNode& owner, std::string_view input) {
        const auto* axis = constantOf(input);
        if (axis == nullptr || axis->type != TensorType::int32 || axis->integers.size() != 1) {
            return std::nullopt;
        }
        int value = axis->integers.front();
        if (value < -4 || value > 3) {
            return std::nullopt;
        }
        if (value < 0) {
            value += 4;
        }
        ConstantTensor moved = *axis;
        moved.integers.front() = channelsLastAxis[static_cast<std::size_t>(value)];
        return addConstant(owner.name + "/axis", std::move(moved));
    }

    std::optional<PlatformError> rewriteNode(std::size_t position) {
        GraphNode& current = graph_.nodes[position];
        Layout& layout = layouts_[position];
        if (current.op == "Placeholder") {
            return rewriteInput(current, layout);
        }
        if (current.op == "Const") {
            return std::nullopt;
        }
        std::optional<Layout> inputLayout;
        for (const auto& input : current.inputs) {
            const Layout tracked = layoutOf(input);
            if (tracked == Layout::untracked) {
                continue;
            }
            if (inputLayout && *inputLayout != tracked) {
                return layoutError(current, "mixes channels-first and channels-last inputs");
            }
            inputLayout = tracked;
        }
        if (!inputLayout) {
            return std::nullopt;
        }
        if (current.op == "Transpose") {
            return rewriteTranspose(current, layout, *inputLayout);
        }
        if (*inputLayout == Layout::channelsLast) {
            layout = Layout::channelsLast;
            return std::nullopt;
        }
        layout = Layout::channelsFirst;
        if (isChannelsLastOperation(current.op)) {
            return layoutError(current, "reads its channels-first input as channels-last");
        }
        if (isElementWise(current.op)) {
            for (const auto& input : current.inputs) {
                const auto* constant = constantOf(input);
                if (constant != nullptr && constant->elementCount() != 1) {
                    return layoutError(current, "broadcasts a constant of more than one value");
                }
            }
            return std::nullopt;
        }
        if ((current.op == "Pad" || current.op == "PadV2" || current.op == "MirrorPad") && current.inputs.size() >= 2) {
            const auto* paddings = constantOf(current.inputs[1]);
            if (paddings == nullptr || paddings->type != TensorType::int32 || paddings->integers.size() != 8) {
                return layoutError(current, "has paddings that are not a constant 4 x 2");
            }
            ConstantTensor moved = *paddings;
            for (std::size_t axis = 0; axis < 4; ++axis) {
                const auto to = static_cast<std::size_t>(channelsLastAxis[axis]);
                moved.integers[to * 2] = paddings->integers[axis * 2];
                moved.integers[to * 2 + 1] = paddings->integers[axis * 2 + 1];
            }
            current.inputs[1] = addConstant(current.name + "/paddings", std::move(moved));
            return std::nullopt;
        }
        if (current.op == "ConcatV2" && current.inputs.size() >= 2) {
            auto axis = movedAxis(current, current.inputs.back());
            if (!axis) {
                return layoutError(current, "has an axis that is not a constant");
            }
            current.inputs.back() = std::move(*axis);
            return std::nullopt;
        }
        if (current.op == "SplitV" && current.inputs.size() == 3) {
            auto axis = movedAxis(current, current.inputs[2]);
            if (!axis) {
                return layoutError(current, "has an axis that is not a constant");
            }
            current.inputs[2] = std::move(*axis);
            return std::nullopt;
        }
        if (current.op == "Split" && current.inputs.size() == 2) {
            auto axis = movedAxis(current, current.inputs[0]);
            if (!axis) {
                return layoutError(current, "has an axis that is not a constant");
            }
            current.inputs[0] = std::move(*axis);
            return std::nullopt;
        }
        return layoutError(current, "cannot be moved to channels-last");
    }

    // The 4-D input is taken channels-first, and now takes channels-last.
    static std::optional<PlatformError> rewriteInput(GraphNode& input, Layout& layout) {
        const auto shape = input.attributes.find("shape");
        if (shape == input.attributes.end() || !shape->is_object() || !shape->contains("shape")) {
            return std::nullopt;
        }
        auto& dims = (*shape)["shape"];
        if (!dims.is_object() || !dims.contains("dim") || !dims["dim"].is_array() || dims["dim"].size() != 4) {
            return std::nullopt;
        }
        const json first = dims["dim"];
        for (std::size_t axis = 0; axis < 4; ++axis) {
            dims["dim"][static_cast<std::size_t>(channelsLastAxis[axis])] = first[axis];
        }
        layout = Layout::channelsFirst;
        return std::nullopt;
    }

    std::optional<PlatformError> rewriteTranspose(GraphNode& transpose, Layout& layout, Layout inputLayout) {
        const auto* permutation = transpose.inputs.size() == 2 ? constantOf(transpose.inputs[1]) : nullptr;
        if (permutation == nullptr || permutation->type != TensorType::int32 || permutation->integers.size() != 4) {
            return layoutError(transpose, "has a permutation that is not a constant of four");
        }
        const auto& order = permutation->integers;
        const bool toChannelsLast = order == std::vector<std::int32_t>{0, 2, 3, 1};
        const bool toChannelsFirst = order == std::vector<std::int32_t>{0, 3, 1, 2};
        if (inputLayout == Layout::channelsFirst && toChannelsLast) {
            layout = Layout::channelsLast;
        } else if (inputLayout == Layout::channelsLast && toChannelsFirst) {
            layout = Layout::channelsFirst;
        } else {
            return layoutError(transpose, "permutes the axes in a way other than between the two layouts");
        }
        // The value is held channels-last on both sides.
        transpose.op = "Identity";
        transpose.inputs.resize(1);
        json attributes = json::object();
        if (const auto type = transpose.attributes.find("T"); type != transpose.attributes.end()) {
            attributes["T"] = *type;
        }
        transpose.attributes = std::move(attributes);
        return std::nullopt;
    }

    GraphModel graph_;
    std::unordered_map<std::string_view, std::size_t> index_;
    std::vector<Layout> layouts_;
    std::vector<GraphNode> added_;
    std::unordered_set<std::string> addedNames_;
};

}  // namespace

PlatformOutcome<GraphModel> channelsLastGraph(GraphModel graph) {
    return ChannelsLastRewriter(std::move(graph)).rewrite();
}

}  // namespace lumenary::platform::vision
