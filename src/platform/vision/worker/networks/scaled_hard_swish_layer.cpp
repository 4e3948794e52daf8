#include "platform/vision/worker/networks/scaled_hard_swish_layer.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>

namespace lumenary::platform::vision {
namespace {

class ScaledHardSwishLayer : public cv::dnn::Layer {
public:
    explicit ScaledHardSwishLayer(const cv::dnn::LayerParams& params)
        : innerScale_(params.get<float>("inner_scale", 1.0F)),
          innerShift_(params.get<float>("inner_shift", 0.0F)),
          hardSwish_(params.get<int>("hard_swish", 0) != 0),
          outerScale_(params.get<float>("outer_scale", 1.0F)),
          outerShift_(params.get<float>("outer_shift", 0.0F)) {
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
        const float* in = inputs[0].ptr<float>();
        float* out = outputs[0].ptr<float>();
        const std::size_t count = inputs[0].total();
        std::size_t index = 0;
#if CV_SIMD128
        const cv::v_float32x4 innerScale = cv::v_setall_f32(innerScale_);
        const cv::v_float32x4 innerShift = cv::v_setall_f32(innerShift_);
        const cv::v_float32x4 outerScale = cv::v_setall_f32(outerScale_);
        const cv::v_float32x4 outerShift = cv::v_setall_f32(outerShift_);
        const cv::v_float32x4 three = cv::v_setall_f32(3.0F);
        const cv::v_float32x4 zero = cv::v_setzero_f32();
        const cv::v_float32x4 six = cv::v_setall_f32(6.0F);
        for (; index + 4 <= count; index += 4) {
            // Each step rounded as the operations it stands for round.
            cv::v_float32x4 value = cv::v_load(in + index) * innerScale + innerShift;
            if (hardSwish_) {
                value = value * cv::v_min(cv::v_max(value + three, zero), six) / six;
            }
            cv::v_store(out + index, value * outerScale + outerShift);
        }
#endif
        for (; index < count; ++index) {
            float value = in[index] * innerScale_ + innerShift_;
            if (hardSwish_) {
                value = value * std::min(std::max(value + 3.0F, 0.0F), 6.0F) / 6.0F;
            }
            out[index] = value * outerScale_ + outerShift_;
        }
    }

private:
    float innerScale_;
    float innerShift_;
    bool hardSwish_;
    float outerScale_;
    float outerShift_;
};

}  // namespace

cv::Ptr<cv::dnn::Layer> createScaledHardSwishLayer(cv::dnn::LayerParams& params) {
    return cv::Ptr<cv::dnn::Layer>(new ScaledHardSwishLayer(params));
}

}  // namespace lumenary::platform::vision
