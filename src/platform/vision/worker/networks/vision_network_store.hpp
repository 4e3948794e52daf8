#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/worker/networks/opencv_graph.hpp"

namespace lumenary::platform::vision {

// A network of the pinned TensorFlow.js model package, as the worker uses
// it: the files' stem in the networks folder (`<name>.json` beside its
// weight shards) and the graph nodes whose values it reads, in the order
// VisionNetwork::run gives them.
struct VisionNetworkDescription {
    std::string name;
    std::vector<std::string> outputs;
    // How the graph lays out its values (channels-first for a model that
    // was converted from ONNX); the loaded network takes N x C x H x W
    // either way.
    GraphLayout layout = GraphLayout::channelsLast;
};

// Overrides the folder the networks are read from (tests point it at a
// folder of their own).
inline constexpr const char* visionNetworksFolderVariable = "LUMENARY_VISION_NETWORKS_DIR";

// $LUMENARY_VISION_NETWORKS_DIR when set and not empty, else the folder
// scripts/setup fills: $XDG_CACHE_HOME/lumenary/human-models-3.0.4 (an
// absolute XDG_CACHE_HOME only), else ~/.cache/lumenary/human-models-3.0.4.
std::filesystem::path visionNetworksFolder();

// One loaded network. Not for two threads at once (the worker runs one
// request at a time).
class VisionNetwork {
public:
    VisionNetwork(cv::dnn::Net net, std::vector<std::string> outputs);

    // The outputs for one input blob (N x C x H x W float, as
    // cv::dnn::blobFromImage makes it: the importer turns a TensorFlow
    // graph's NHWC input into NCHW), in the description's order. Throws
    // cv::Exception when the network refuses the input.
    std::vector<cv::Mat> run(const cv::Mat& input);

private:
    cv::dnn::Net net_;
    std::vector<std::string> outputs_;
};

// The networks of one worker: each converted and loaded on first use from
// the folder, and shared by every later request. A network that cannot be
// loaded (a file missing, unreadable, not a regular file or too large; a
// model nested too deep; weights that are not finite numbers; a graph the
// converter or OpenCV refuses) fails every call that asks for it with an
// error (domain "VisionService", 500) that names it, says why, and says how
// to get the files; the failure is remembered, so a broken network costs
// one attempt.
class VisionNetworkStore {
public:
    explicit VisionNetworkStore(std::filesystem::path folder);

    // The worker's own, reading visionNetworksFolder() when first used.
    static VisionNetworkStore& shared();

    PlatformOutcome<VisionNetwork*> network(const VisionNetworkDescription& description);

    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    std::mutex mutex_;
    std::map<std::string, PlatformOutcome<std::shared_ptr<VisionNetwork>>, std::less<>> networks_;
};

// Converts and loads the network `description` names from `folder`.
PlatformOutcome<std::shared_ptr<VisionNetwork>> loadVisionNetwork(const std::filesystem::path& folder,
                                                                  const VisionNetworkDescription& description);

}  // namespace lumenary::platform::vision
