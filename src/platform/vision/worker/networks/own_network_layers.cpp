#include "platform/vision/worker/networks/own_network_layers.hpp"

#include <mutex>

#include <opencv2/dnn.hpp>

#include "platform/vision/worker/networks/depthwise_convolution_layer.hpp"
#include "platform/vision/worker/networks/onnx_graph.hpp"
#include "platform/vision/worker/networks/scaled_hard_swish_layer.hpp"

namespace lumenary::platform::vision {

void registerOwnNetworkLayers() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        cv::dnn::LayerFactory::registerLayer(std::string(depthwiseConvolutionOperation),
                                             &createDepthwiseConvolutionLayer);
        cv::dnn::LayerFactory::registerLayer(std::string(scaledHardSwishOperation), &createScaledHardSwishLayer);
    });
}

}  // namespace lumenary::platform::vision
