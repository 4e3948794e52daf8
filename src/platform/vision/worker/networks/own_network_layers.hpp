#pragma once

namespace lumenary::platform::vision {

// The layers of our own that an ONNX rewrite may name as operations (see
// onnx_graph.hpp), made known to OpenCV's layer factory. Safe to call any
// number of times from any thread; a network naming them must be read
// after the first call.
void registerOwnNetworkLayers();

}  // namespace lumenary::platform::vision
