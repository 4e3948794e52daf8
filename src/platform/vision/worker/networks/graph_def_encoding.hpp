#pragma once

#include <string>

#include "platform/platform_error.hpp"
#include "platform/vision/worker/networks/graph_model.hpp"

namespace lumenary::platform::vision {

// The graph as a serialised TensorFlow GraphDef protobuf, the form
// cv::dnn::readNetFromTensorflow reads. Attributes are carried over from
// their JSON mapping; a Const node's decoded value becomes its "value"
// tensor, a single value as float_val or int_val (OpenCV 4.6's importer
// crashes on a scalar in tensor_content), anything else as tensor_content.
// An attribute it cannot encode (an unknown type name, a number that is
// not one) is an error naming the node.
PlatformOutcome<std::string> encodeGraphDef(const GraphModel& graph);

}  // namespace lumenary::platform::vision
