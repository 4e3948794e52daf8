#pragma once

#include <cstddef>

#include <opencv2/dnn.hpp>

namespace lumenary::platform::vision {

// y = outerScale * f(innerScale * x + innerShift) + outerShift, where f is
// hard-swish (v * min(max(v + 3, 0), 6) / 6) when hardSwish is set and the
// identity when not.
struct ScaledHardSwish {
    float innerScale = 1;
    float innerShift = 0;
    bool hardSwish = false;
    float outerScale = 1;
    float outerShift = 0;

    // From a layer's "inner_scale", "inner_shift", "hard_swish" (0 or 1),
    // "outer_scale" and "outer_shift"; each left out keeps its default.
    static ScaledHardSwish fromParameters(const cv::dnn::LayerParams& params);
    // Whether the layer's parameters name any of them.
    static bool namedIn(const cv::dnn::LayerParams& params);

    // `out` may be `in`.
    void apply(const float* in, float* out, std::size_t count) const;
};

// A layer of ScaledHardSwish element by element over a float tensor of any
// shape: one pass over memory in place of the up to eight OpenCV layers
// the written-out form makes (each a pass of its own, and the product of
// two tensors one of OpenCV's slow ones).
cv::Ptr<cv::dnn::Layer> createScaledHardSwishLayer(cv::dnn::LayerParams& params);

}  // namespace lumenary::platform::vision
