#include "platform/vision/worker/networks/scaled_hard_swish_layer.hpp"

#include <algorithm>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>

namespace lumenary::platform::vision {

ScaledHardSwish ScaledHardSwish::fromParameters(const cv::dnn::LayerParams& params) {
    return {params.get<float>("inner_scale", 1.0F), params.get<float>("inner_shift", 0.0F),
            params.get<int>("hard_swish", 0) != 0, params.get<float>("outer_scale", 1.0F),
            params.get<float>("outer_shift", 0.0F)};
}

bool ScaledHardSwish::namedIn(const cv::dnn::LayerParams& params) {
    return params.has("inner_scale") || params.has("inner_shift") || params.has("hard_swish") ||
           params.has("outer_scale") || params.has("outer_shift");
}

void ScaledHardSwish::apply(const float* in, float* out, std::size_t count) const {
    std::size_t index = 0;
    // Divided by 6 as OpenCV divides by a constant: times its inverse,
    // which is also several times faster.
#if CV_SIMD128
    const cv::v_float32x4 innerScaleLanes = cv::v_setall_f32(innerScale);
    const cv::v_float32x4 innerShiftLanes = cv::v_setall_f32(innerShift);
    const cv::v_float32x4 outerScaleLanes = cv::v_setall_f32(outerScale);
    const cv::v_float32x4 outerShiftLanes = cv::v_setall_f32(outerShift);
    const cv::v_float32x4 three = cv::v_setall_f32(3.0F);
    const cv::v_float32x4 zero = cv::v_setzero_f32();
    const cv::v_float32x4 six = cv::v_setall_f32(6.0F);
    const cv::v_float32x4 sixth = cv::v_setall_f32(1.0F / 6.0F);
    for (; index + 4 <= count; index += 4) {
        cv::v_float32x4 value = cv::v_load(in + index) * innerScaleLanes + innerShiftLanes;
        if (hardSwish) {
            value = value * cv::v_min(cv::v_max(value + three, zero), six) * sixth;
        }
        cv::v_store(out + index, value * outerScaleLanes + outerShiftLanes);
    }
#endif
    for (; index < count; ++index) {
        float value = in[index] * innerScale + innerShift;
        if (hardSwish) {
            value = value * std::min(std::max(value + 3.0F, 0.0F), 6.0F) * (1.0F / 6.0F);
        }
        out[index] = value * outerScale + outerShift;
    }
}

namespace {

class ScaledHardSwishLayer : public cv::dnn::Layer {
public:
    explicit ScaledHardSwishLayer(const cv::dnn::LayerParams& params)
        : function_(ScaledHardSwish::fromParameters(params)) {
        setParamsFrom(params);
    }

    bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int /*requiredOutputs*/,
                         std::vector<cv::dnn::MatShape>& outputs,
                         std::vector<cv::dnn::MatShape>& /*internals*/) const override {
        if (inputs.size() != 1) {
            CV_Error(cv::Error::StsBadArg, "scaled hard-swish: wants one input");
        }
        outputs.assign(1, inputs[0]);
        return false;
    }

    void forward(cv::InputArrayOfArrays inputsArray, cv::OutputArrayOfArrays outputsArray,
                 cv::OutputArrayOfArrays /*internals*/) override {
        std::vector<cv::Mat> inputs;
        std::vector<cv::Mat> outputs;
        inputsArray.getMatVector(inputs);
        outputsArray.getMatVector(outputs);
        CV_Assert(inputs[0].type() == CV_32F && inputs[0].isContinuous() && outputs[0].isContinuous() &&
                  inputs[0].total() == outputs[0].total());
        function_.apply(inputs[0].ptr<float>(), outputs[0].ptr<float>(), inputs[0].total());
    }

private:
    ScaledHardSwish function_;
};

}  // namespace

cv::Ptr<cv::dnn::Layer> createScaledHardSwishLayer(cv::dnn::LayerParams& params) {
    return cv::Ptr<cv::dnn::Layer>(new ScaledHardSwishLayer(params));
}

}  // namespace lumenary::platform::vision
