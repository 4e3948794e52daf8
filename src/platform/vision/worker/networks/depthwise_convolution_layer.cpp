#include "platform/vision/worker/networks/depthwise_convolution_layer.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>

#include "platform/vision/worker/networks/scaled_hard_swish_layer.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lumenary::platform::vision {
namespace {

// Bounds a hostile model file cannot pass: far beyond any network's.
constexpr int largestKernelSide = 64;
constexpr int largestStride = 64;
constexpr int largestPad = 64;

// Floats read past a padded plane's last row: the stride 2 loop's
// deinterleaving load reads one beyond the last column it uses, into a lane
// it throws away. Every other read stays in the plane, as long as the
// plane is at least as tall and as wide as the kernel.
constexpr std::size_t readSlack = 16;

int intParameter(const cv::dnn::LayerParams& params, const char* name, int index, int absent) {
    if (!params.has(name)) {
        return absent;
    }
    const cv::dnn::DictValue& value = params.get(name);
    if (value.size() == 1) {
        return value.get<int>(0);
    }
    if (index >= value.size()) {
        CV_Error(cv::Error::StsBadArg, std::string("depthwise convolution: \"") + name + "\" has too few values");
    }
    return value.get<int>(index);
}

#if defined(__x86_64__)
// The build's baseline is SSE2; OpenCV picks its AVX2 code when run, and
// so do we, for the stride 1 across that nearly every such layer has:
// twice the lanes and a fused multiply-add.
bool hasAvx2WithFma() {
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return supported;
}

template <int Blocks, int KernelWidth>
[[gnu::target("avx2,fma")]] int avx2Columns(const float* top, int paddedWidth, int kernelHeight, const float* kernel,
                                            float bias, float* out, int column, int outputWidth) {
    constexpr int lanes = 8;
    for (; column + Blocks * lanes <= outputWidth; column += Blocks * lanes) {
        __m256 sums[Blocks];
#pragma GCC unroll 8
        for (auto& sum : sums) {
            sum = _mm256_set1_ps(bias);
        }
        const float* corner = top + column;
        for (int kernelRow = 0; kernelRow < kernelHeight; ++kernelRow) {
            const float* line = corner + static_cast<std::size_t>(kernelRow) * paddedWidth;
            const float* weights = kernel + static_cast<std::size_t>(kernelRow) * KernelWidth;
#pragma GCC unroll 8
            for (int kernelColumn = 0; kernelColumn < KernelWidth; ++kernelColumn) {
                const __m256 weight = _mm256_set1_ps(weights[kernelColumn]);
#pragma GCC unroll 8
                for (int block = 0; block < Blocks; ++block) {
                    sums[block] =
                        _mm256_fmadd_ps(_mm256_loadu_ps(line + kernelColumn + block * lanes), weight, sums[block]);
                }
            }
        }
#pragma GCC unroll 8
        for (int block = 0; block < Blocks; ++block) {
            _mm256_storeu_ps(out + column + block * lanes, sums[block]);
        }
    }
    return column;
}
#endif

class DepthwiseConvolutionLayer : public cv::dnn::Layer {
public:
    explicit DepthwiseConvolutionLayer(const cv::dnn::LayerParams& params) {
        setParamsFrom(params);
        if (ScaledHardSwish::namedIn(params)) {
            activation_ = ScaledHardSwish::fromParameters(params);
        }
        if (blobs.empty() || blobs.size() > 2) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: wants its filters and at most a bias as constants");
        }
        const cv::Mat& filters = blobs[0];
        if (filters.type() != CV_32F || filters.dims != 4 || filters.size[1] != 1) {
            CV_Error(cv::Error::StsBadArg,
                     "depthwise convolution: filters must be float, channels x 1 x height x width");
        }
        channels_ = filters.size[0];
        kernelHeight_ = filters.size[2];
        kernelWidth_ = filters.size[3];
        strideHeight_ = intParameter(params, "stride", 0, 1);
        strideWidth_ = intParameter(params, "stride", 1, 1);
        padTop_ = intParameter(params, "pad", 0, 0);
        padLeft_ = intParameter(params, "pad", 1, 0);
        padBottom_ = intParameter(params, "pad", 2, padTop_);
        padRight_ = intParameter(params, "pad", 3, padLeft_);
        const bool sizesInBounds = kernelHeight_ >= 1 && kernelHeight_ <= largestKernelSide && kernelWidth_ >= 1 &&
                                   kernelWidth_ <= largestKernelSide && strideHeight_ >= 1 &&
                                   strideHeight_ <= largestStride && strideWidth_ >= 1 && strideWidth_ <= largestStride;
        const bool padsInBounds = std::min({padTop_, padLeft_, padBottom_, padRight_}) >= 0 &&
                                  std::max({padTop_, padLeft_, padBottom_, padRight_}) <= largestPad;
        if (!sizesInBounds || !padsInBounds) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: kernel, stride or pad out of bounds");
        }
        if (params.has("kernel_size") && (intParameter(params, "kernel_size", 0, 0) != kernelHeight_ ||
                                          intParameter(params, "kernel_size", 1, 0) != kernelWidth_)) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: kernel size differs from the filters'");
        }
        if (intParameter(params, "dilation", 0, 1) != 1 || intParameter(params, "dilation", 1, 1) != 1) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: dilation other than 1");
        }
        if (intParameter(params, "group", 0, channels_) != channels_) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: group differs from the channels");
        }
        if (blobs.size() == 2 &&
            (blobs[1].type() != CV_32F || blobs[1].total() != static_cast<std::size_t>(channels_))) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: the bias must be one float per channel");
        }
    }

    bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int /*requiredOutputs*/,
                         std::vector<cv::dnn::MatShape>& outputs,
                         std::vector<cv::dnn::MatShape>& /*internals*/) const override {
        if (inputs.size() != 1 || inputs[0].size() != 4 || (inputs[0][1] > 0 && inputs[0][1] != channels_)) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: wants one N x channels x H x W input");
        }
        // The importer asks with the sides a model leaves open too (0, not
        // yet known); OpenCV's convolution leaves such a side 0, and so do
        // we.
        const int height = inputs[0][2] > 0 ? outputHeightFor(inputs[0][2]) : 0;
        const int width = inputs[0][3] > 0 ? outputWidthFor(inputs[0][3]) : 0;
        outputs.assign(1, cv::dnn::MatShape{inputs[0][0], channels_, height, width});
        return false;
    }

    void forward(cv::InputArrayOfArrays inputsArray, cv::OutputArrayOfArrays outputsArray,
                 cv::OutputArrayOfArrays /*internals*/) override {
        std::vector<cv::Mat> inputs;
        std::vector<cv::Mat> outputs;
        inputsArray.getMatVector(inputs);
        outputsArray.getMatVector(outputs);
        const cv::Mat& input = inputs[0];
        cv::Mat& output = outputs[0];
        CV_Assert(input.type() == CV_32F && input.dims == 4 && input.size[1] == channels_ && input.isContinuous() &&
                  output.type() == CV_32F && output.dims == 4 && output.isContinuous());
        const int height = input.size[2];
        const int width = input.size[3];
        // The loops below read wherever these sides say: they must be the
        // ones this input gives, whatever shape was asked for before.
        const int outputHeight = height > 0 ? outputHeightFor(height) : 0;
        const int outputWidth = width > 0 ? outputWidthFor(width) : 0;
        if (output.size[0] != input.size[0] || output.size[1] != channels_ || output.size[2] != outputHeight ||
            output.size[3] != outputWidth) {
            CV_Error(cv::Error::StsBadArg, "depthwise convolution: the output's shape is not the input's");
        }
        const int paddedHeight = height + padTop_ + padBottom_;
        const int paddedWidth = width + padLeft_ + padRight_;
        // One padded copy of a plane at a time, so the inner loops never
        // test a border.
        std::vector<float> padded(
            static_cast<std::size_t>(paddedHeight) * static_cast<std::size_t>(paddedWidth) + readSlack, 0.0F);
        const auto planes = static_cast<std::size_t>(input.size[0]) * static_cast<std::size_t>(channels_);
        const auto* filters = blobs[0].ptr<float>();
        const float* bias = blobs.size() == 2 ? blobs[1].ptr<float>() : nullptr;
        for (std::size_t plane = 0; plane < planes; ++plane) {
            const std::size_t channel = plane % static_cast<std::size_t>(channels_);
            const float* source = input.ptr<float>() + plane * static_cast<std::size_t>(height) * width;
            for (int row = 0; row < height; ++row) {
                std::copy(source + static_cast<std::size_t>(row) * width,
                          source + static_cast<std::size_t>(row + 1) * width,
                          padded.data() + static_cast<std::size_t>(row + padTop_) * paddedWidth + padLeft_);
            }
            float* target = output.ptr<float>() + plane * static_cast<std::size_t>(outputHeight) * outputWidth;
            const float* kernel = filters + channel * static_cast<std::size_t>(kernelHeight_) * kernelWidth_;
            convolvePlane(padded.data(), paddedWidth, kernel, bias ? bias[channel] : 0.0F, target, outputHeight,
                          outputWidth);
            if (activation_) {
                activation_->apply(target, target, static_cast<std::size_t>(outputHeight) * outputWidth);
            }
        }
    }

private:
    int outputHeightFor(int inputHeight) const {
        return outputSide("height", inputHeight, padTop_ + padBottom_, kernelHeight_, strideHeight_);
    }

    int outputWidthFor(int inputWidth) const {
        return outputSide("width", inputWidth, padLeft_ + padRight_, kernelWidth_, strideWidth_);
    }

    // A padded side shorter than the kernel is refused, not rounded: the
    // kernel would reach past the padded plane. Wide enough not to
    // overflow: the pads are bounded, the input side is not.
    static int outputSide(const char* side, int input, int pads, int kernel, int stride) {
        const std::int64_t padded = std::int64_t{input} + pads;
        if (padded > std::numeric_limits<int>::max()) {
            CV_Error(cv::Error::StsBadArg,
                     cv::format("depthwise convolution: the input's %s %d is too long", side, input));
        }
        if (padded < kernel) {
            CV_Error(cv::Error::StsBadArg,
                     cv::format("depthwise convolution: the input's %s %d, padded to %d, is shorter than the "
                                "kernel's %d",
                                side, input, static_cast<int>(padded), kernel));
        }
        return static_cast<int>((padded - kernel) / stride + 1);
    }

    void convolvePlane(const float* padded, int paddedWidth, const float* kernel, float bias, float* target,
                       int outputHeight, int outputWidth) const {
        for (int outputRow = 0; outputRow < outputHeight; ++outputRow) {
            const float* top = padded + static_cast<std::size_t>(outputRow) * strideHeight_ * paddedWidth;
            float* out = target + static_cast<std::size_t>(outputRow) * outputWidth;
            int column = 0;
            switch (kernelWidth_) {
                case 3: column = vectorColumnsOfKernelWidth<3>(top, paddedWidth, kernel, bias, out, outputWidth); break;
                case 5: column = vectorColumnsOfKernelWidth<5>(top, paddedWidth, kernel, bias, out, outputWidth); break;
                case 7: column = vectorColumnsOfKernelWidth<7>(top, paddedWidth, kernel, bias, out, outputWidth); break;
                default: break;
            }
            for (; column < outputWidth; ++column) {
                float sum = bias;
                const float* corner = top + static_cast<std::size_t>(column) * strideWidth_;
                for (int kernelRow = 0; kernelRow < kernelHeight_; ++kernelRow) {
                    const float* line = corner + static_cast<std::size_t>(kernelRow) * paddedWidth;
                    const float* weights = kernel + static_cast<std::size_t>(kernelRow) * kernelWidth_;
                    for (int kernelColumn = 0; kernelColumn < kernelWidth_; ++kernelColumn) {
                        sum += line[kernelColumn] * weights[kernelColumn];
                    }
                }
                out[column] = sum;
            }
        }
    }

    // The kernel's width and the stride across known when compiled, so the
    // compiler unrolls the taps: about twice as fast. The other widths and
    // strides take the plain loop.
    template <int KernelWidth>
    int vectorColumnsOfKernelWidth(const float* top, int paddedWidth, const float* kernel, float bias, float* out,
                                   int outputWidth) const {
        if (strideWidth_ > 2) {
            return 0;
        }
        int column = 0;
#if defined(__x86_64__)
        if (strideWidth_ == 1 && hasAvx2WithFma()) {
            column =
                avx2Columns<4, KernelWidth>(top, paddedWidth, kernelHeight_, kernel, bias, out, column, outputWidth);
            column =
                avx2Columns<1, KernelWidth>(top, paddedWidth, kernelHeight_, kernel, bias, out, column, outputWidth);
        }
#endif
        if (strideWidth_ == 1) {
            column = vectorColumns<4, KernelWidth, 1>(top, paddedWidth, kernel, bias, out, column, outputWidth);
            return vectorColumns<1, KernelWidth, 1>(top, paddedWidth, kernel, bias, out, column, outputWidth);
        }
        column = vectorColumns<4, KernelWidth, 2>(top, paddedWidth, kernel, bias, out, column, outputWidth);
        return vectorColumns<1, KernelWidth, 2>(top, paddedWidth, kernel, bias, out, column, outputWidth);
    }

    // The columns of one output row done four at a time, for strides 1 and
    // 2 across, `Blocks` fours at once so each weight is loaded once for
    // all of them; how many were done.
    template <int Blocks, int KernelWidth, int StrideWidth>
    int vectorColumns(const float* top, int paddedWidth, const float* kernel, float bias, float* out, int column,
                      int outputWidth) const {
#if CV_SIMD128
        constexpr int lanes = 4;
        for (; column + Blocks * lanes <= outputWidth; column += Blocks * lanes) {
            cv::v_float32x4 sums[Blocks];
#pragma GCC unroll 8
            for (auto& sum : sums) {
                sum = cv::v_setall_f32(bias);
            }
            const float* corner = top + static_cast<std::size_t>(column) * StrideWidth;
            for (int kernelRow = 0; kernelRow < kernelHeight_; ++kernelRow) {
                const float* line = corner + static_cast<std::size_t>(kernelRow) * paddedWidth;
                const float* weights = kernel + static_cast<std::size_t>(kernelRow) * KernelWidth;
#pragma GCC unroll 8
                for (int kernelColumn = 0; kernelColumn < KernelWidth; ++kernelColumn) {
                    const cv::v_float32x4 weight = cv::v_setall_f32(weights[kernelColumn]);
#pragma GCC unroll 8
                    for (int block = 0; block < Blocks; ++block) {
                        const float* at = line + kernelColumn + block * lanes * StrideWidth;
                        cv::v_float32x4 values;
                        if constexpr (StrideWidth == 1) {
                            values = cv::v_load(at);
                        } else {
                            cv::v_float32x4 skipped;
                            cv::v_load_deinterleave(at, values, skipped);
                        }
                        sums[block] = cv::v_fma(values, weight, sums[block]);
                    }
                }
            }
#pragma GCC unroll 8
            for (int block = 0; block < Blocks; ++block) {
                cv::v_store(out + column + block * lanes, sums[block]);
            }
        }
#else
        (void)top;
        (void)paddedWidth;
        (void)kernel;
        (void)bias;
        (void)out;
        (void)outputWidth;
#endif
        return column;
    }

    // Applied to each plane while it is in cache.
    std::optional<ScaledHardSwish> activation_;
    int channels_ = 0;
    int kernelHeight_ = 0;
    int kernelWidth_ = 0;
    int strideHeight_ = 1;
    int strideWidth_ = 1;
    int padTop_ = 0;
    int padLeft_ = 0;
    int padBottom_ = 0;
    int padRight_ = 0;
};

}  // namespace

cv::Ptr<cv::dnn::Layer> createDepthwiseConvolutionLayer(cv::dnn::LayerParams& params) {
    return cv::Ptr<cv::dnn::Layer>(new DepthwiseConvolutionLayer(params));
}

}  // namespace lumenary::platform::vision
