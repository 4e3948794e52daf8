#pragma once

#include "platform/platform_error.hpp"
#include "platform/vision/worker/networks/graph_model.hpp"

namespace lumenary::platform::vision {

// A channels-first graph (4-D values in N x C x H x W, as an ONNX model
// converted to TensorFlow keeps them, with a transpose to N x H x W x C
// before every convolution, pooling and resize and one back after it)
// rewritten so that every 4-D value is held channels-last: the graph input
// takes N x H x W x C, the transposes between the two layouts become
// identities, and the operations that work on a channels-first value
// (pads, concatenations and splits along an axis, element-wise operations)
// get their constants moved to the channels-last axes. OpenCV's importer
// then sees an ordinary TensorFlow graph.
//
// The graph's 4-D input is taken as channels-first; an operation that would
// have to see a channels-first value in a way not listed above (a reshape,
// a transpose of another order, a constant broadcast along more than one
// axis) is an error naming the node. Run it on a graph already pruned to
// its outputs, so that post-processing no output needs is not in the way.
PlatformOutcome<GraphModel> channelsLastGraph(GraphModel graph);

}  // namespace lumenary::platform::vision
