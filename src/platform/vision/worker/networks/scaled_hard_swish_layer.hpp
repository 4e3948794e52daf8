#pragma once

#include <opencv2/dnn.hpp>

namespace lumenary::platform::vision {

// y = outer_scale * f(inner_scale * x + inner_shift) + outer_shift, element
// by element over a float tensor of any shape, where f is hard-swish
// (v * min(max(v + 3, 0), 6) / 6) when "hard_swish" is 1 and the identity
// when it is 0. One pass over memory in place of the up to eight OpenCV
// layers the written-out form makes (each a pass of its own, and the
// product of two tensors one of OpenCV's slow ones). Scales default to 1,
// shifts to 0.
cv::Ptr<cv::dnn::Layer> createScaledHardSwishLayer(cv::dnn::LayerParams& params);

}  // namespace lumenary::platform::vision
