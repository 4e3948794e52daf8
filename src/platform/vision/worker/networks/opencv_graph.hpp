#pragma once

#include <string>
#include <vector>

#include "platform/platform_error.hpp"
#include "platform/vision/worker/networks/graph_model.hpp"

namespace lumenary::platform::vision {

// A TensorFlow.js graph rewritten into the operations OpenCV 4.6's
// TensorFlow importer reads, and cut down to what `outputs` (node names)
// need:
// - the fused operations TensorFlow.js's converter makes (_FusedConv2D,
//   FusedDepthwiseConv2dNative, _FusedMatMul) are split back into the plain
//   operation, a BiasAdd and the fused activation; the last of them keeps
//   the fused node's name, so its consumers and an output of that name
//   read the same values;
// - Maximum(Minimum(x, 6), 0) and Minimum(Maximum(x, 0), 6) become Relu6(x);
// - a PadV2 of 0 becomes a Pad, and a PadV2 of minus infinity in front of
//   a VALID max pooling becomes the pooling's explicit padding;
// - nodes no output needs are dropped;
// - a graph in channels-first layout (an ONNX model converted to
//   TensorFlow, which wraps every convolution in transposes) is moved to
//   channels-last (channels_last_graph.hpp), as the importer knows no other.
// An output that names no node, or a fused operation it does not know, is
// an error naming it.
enum class GraphLayout { channelsLast, channelsFirst };
PlatformOutcome<GraphModel> graphForOpenCV(GraphModel graph, const std::vector<std::string>& outputs,
                                           GraphLayout layout = GraphLayout::channelsLast);

}  // namespace lumenary::platform::vision
