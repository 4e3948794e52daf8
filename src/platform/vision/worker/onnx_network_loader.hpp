#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <variant>

#include <opencv2/dnn.hpp>

#include "platform/vision/worker/networks/onnx_graph.hpp"

namespace lumenary::platform::vision {

// How an ONNX network is read into OpenCV beyond the rewrites every model
// gets.
struct OnnxNetworkOptions {
    OnnxRewrite rewrite;
    // OpenCV 4.6 fuses some networks' layers again each time the input size
    // changes, and their outputs are then all zero.
    bool fuseLayers = true;
};

// The ONNX network at `path`, read with the bounded regular-file reader,
// rewritten for OpenCV's importer and loaded for the CPU; or why it could
// not be (a sentence fragment such as "it is not a regular file", to follow
// the network's name in a console line). Only a failed allocation throws.
std::variant<std::unique_ptr<cv::dnn::Net>, std::string> loadedOnnxNetwork(const std::filesystem::path& path,
                                                                           const OnnxNetworkOptions& options = {});

}  // namespace lumenary::platform::vision
