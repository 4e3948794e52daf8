#include "platform/vision/worker/networks/vision_network_store.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <utility>
#include <variant>

#include "platform/defaults/cache_directory.hpp"
#include "platform/files/bounded_file_reader.hpp"
#include "platform/vision/worker/networks/graph_def_encoding.hpp"
#include "platform/vision/worker/networks/graph_model.hpp"
#include "platform/vision/worker/networks/opencv_graph.hpp"

namespace lumenary::platform::vision {

namespace {

constexpr const char* packageFolderName = "human-models-3.0.4";

std::string setupAdvice() {
    return std::string("; run scripts/setup to fetch the networks (or set ") + visionNetworksFolderVariable +
           " to a folder that holds them)";
}

PlatformError loadError(const std::filesystem::path& folder, const VisionNetworkDescription& description,
                        const std::string& reason) {
    return {"VisionService", 500,
            "The vision network " + description.name + " could not be loaded from " + folder.string() + ": " + reason +
                setupAdvice()};
}

// The whole file, or what is wrong with it, in words that name the file
// (the caller names the network and the folder). Only a regular file is
// read, and never more than `limit` bytes: a pipe, a folder or a device in
// place of a network file is refused, not waited on or read without end.
PlatformOutcome<std::string> fileBytes(const std::filesystem::path& path, std::size_t limit,
                                       const std::string& limitText) {
    using Reason = BoundedReadFailure::Reason;
    auto bytes = readBoundedBytes(path, limit);
    if (auto* text = std::get_if<std::string>(&bytes)) {
        return std::move(*text);
    }
    const auto failure = std::get<BoundedReadFailure>(bytes);
    const std::string name = path.filename().string();
    switch (failure.reason) {
        case Reason::cannotOpen:
            if (failure.errorNumber == ENOENT) {
                return PlatformError{"VisionService", 500, name + " is missing"};
            }
            return PlatformError{"VisionService", 500,
                                 name + " cannot be opened (" + std::strerror(failure.errorNumber) + ")"};
        case Reason::cannotRead:
            return PlatformError{"VisionService", 500,
                                 name + " cannot be read (" + std::strerror(failure.errorNumber) + ")"};
        case Reason::notRegularFile:
            return PlatformError{"VisionService", 500, name + " is not a regular file"};
        case Reason::tooLarge:
            return PlatformError{"VisionService", 500, name + " is too large: " + limitText};
    }
    return PlatformError{"VisionService", 500, name + " cannot be read"};
}

// The layer of `net` whose output is the graph node `output`'s value. The
// importer keeps no layer for an Identity, and merges a BiasAdd into the
// convolution or product before it under that one's name.
std::optional<std::string> layerOfOutput(cv::dnn::Net& net, const GraphModel& graph, const std::string& output) {
    std::string name(inputNodeName(output));
    for (std::size_t step = 0; step <= graph.nodes.size(); ++step) {
        if (net.getLayerId(name) >= 0) {
            return name;
        }
        const auto node = std::find_if(graph.nodes.begin(), graph.nodes.end(),
                                       [&](const GraphNode& candidate) { return candidate.name == name; });
        if (node == graph.nodes.end() || (node->op != "Identity" && node->op != "BiasAdd") || node->inputs.empty()) {
            return std::nullopt;
        }
        name = std::string(inputNodeName(node->inputs.front()));
    }
    return std::nullopt;
}

}  // namespace

std::filesystem::path visionNetworksFolder() {
    if (const char* folder = std::getenv(visionNetworksFolderVariable); folder != nullptr && *folder != '\0') {
        return folder;
    }
    return cacheDirectory() / packageFolderName;
}

VisionNetwork::VisionNetwork(cv::dnn::Net net, std::vector<std::string> outputs)
    : net_(std::move(net)), outputs_(std::move(outputs)) {}

std::vector<cv::Mat> VisionNetwork::run(const cv::Mat& input) {
    net_.setInput(input);
    std::vector<cv::Mat> results;
    net_.forward(results, outputs_);
    return results;
}

VisionNetworkStore::VisionNetworkStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

VisionNetworkStore& VisionNetworkStore::shared() {
    static VisionNetworkStore store(visionNetworksFolder());
    return store;
}

PlatformOutcome<VisionNetwork*> VisionNetworkStore::network(const VisionNetworkDescription& description) {
    std::lock_guard lock(mutex_);
    auto found = networks_.find(description.name);
    if (found == networks_.end()) {
        found = networks_.emplace(description.name, loadVisionNetwork(folder_, description)).first;
    }
    if (!found->second) {
        return found->second.error();
    }
    return found->second.value().get();
}

PlatformOutcome<std::shared_ptr<VisionNetwork>> loadVisionNetwork(const std::filesystem::path& folder,
                                                                  const VisionNetworkDescription& description) {
    auto model = fileBytes(folder / (description.name + ".json"), maximumGraphModelJSONBytes,
                           "a model file may hold at most " + std::to_string(maximumGraphModelJSONBytes) + " bytes");
    if (!model) {
        return loadError(folder, description, model.error().description);
    }
    const auto shards = graphModelWeightFiles(model.value());
    if (!shards) {
        return loadError(folder, description, shards.error().description);
    }
    std::string weights;
    for (const auto& shard : shards.value()) {
        auto bytes = fileBytes(folder / shard, maximumGraphModelWeightBytes - weights.size(),
                               "a network's weights may hold at most " + std::to_string(maximumGraphModelWeightBytes) +
                                   " bytes");
        if (!bytes) {
            return loadError(folder, description, bytes.error().description);
        }
        weights += bytes.value();
    }
    auto graph = readGraphModel(model.value(), weights);
    weights = {};
    if (!graph) {
        return loadError(folder, description, graph.error().description);
    }
    auto converted = graphForOpenCV(std::move(graph).value(), description.outputs, description.layout);
    if (!converted) {
        return loadError(folder, description, converted.error().description);
    }
    const auto graphDef = encodeGraphDef(converted.value());
    if (!graphDef) {
        return loadError(folder, description, graphDef.error().description);
    }
    try {
        auto net = cv::dnn::readNetFromTensorflow(graphDef.value().data(), graphDef.value().size());
        if (net.empty()) {
            return loadError(folder, description, "OpenCV made an empty network of it");
        }
        // Each layer is made when first asked for; asking now turns an
        // operation OpenCV cannot run into a load failure, not a failure of
        // every call.
        for (const auto& layer : net.getLayerNames()) {
            net.getLayer(layer);
        }
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        std::vector<std::string> layers;
        for (const auto& output : description.outputs) {
            auto layer = layerOfOutput(net, converted.value(), output);
            if (!layer) {
                return loadError(folder, description, "OpenCV kept no layer for the output " + output);
            }
            layers.push_back(std::move(*layer));
        }
        return std::make_shared<VisionNetwork>(std::move(net), std::move(layers));
    } catch (const cv::Exception& error) {
        return loadError(folder, description, std::string("OpenCV refused the converted graph: ") + error.what());
    } catch (const std::bad_alloc&) {
        // Not the network's fault: the next call may find the memory.
        throw;
    } catch (const std::exception& error) {
        // OpenCV's importer reports some graphs it cannot read through its
        // own copy of protobuf, whose checks throw their own exception.
        return loadError(folder, description, std::string("OpenCV refused the converted graph: ") + error.what());
    }
}

}  // namespace lumenary::platform::vision
