#pragma once

#include <opencv2/dnn.hpp>

namespace lumenary::platform::vision {

// A depthwise convolution (one filter per channel, group == channels) of
// any kernel size, stride and padding (top, left, bottom, right may
// differ), dilation 1, bias optional, over float NCHW tensors. OpenCV 4.6
// has a fast path only for 3x3 kernels; its general grouped convolution
// spends several times the arithmetic's worth on 5x5 ones.
//
// Parameters as OpenCV's ONNX importer hands a node's over: "kernel_size"
// (height, width), "stride" (height, width; default 1), "pad" (top, left,
// bottom, right; default 0), "dilation" (must be 1), "group" (must equal
// the channels when given); blobs: the filters (channels x 1 x height x
// width) and optionally the bias (one per channel). With any of the
// parameters of a ScaledHardSwish (scaled_hard_swish_layer.hpp) it applies
// that to its output too. A parameter out of these bounds throws
// cv::Exception, which the importer reports.
cv::Ptr<cv::dnn::Layer> createDepthwiseConvolutionLayer(cv::dnn::LayerParams& params);

}  // namespace lumenary::platform::vision
