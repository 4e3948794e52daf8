#include "platform/vision/worker/bmp_bit_fields_decoding.hpp"

#include <bit>
#include <cstdint>

namespace lumenary::platform::vision {

namespace {

struct MaskedChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t largest = 0;  // the value of a full channel

    explicit MaskedChannel(std::uint32_t channelMask)
        : mask(channelMask), shift(std::countr_zero(channelMask)), largest(channelMask >> shift) {}

    std::uint8_t sample(std::uint32_t pixel) const {
        const std::uint64_t value = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>((value * 255 + largest / 2) / largest);
    }
};

}  // namespace

PlatformOutcome<cv::Mat> decodeBitFieldsBmp(std::string_view bytes, const BmpLayout& layout) {
    const std::size_t bytesPerPixel = static_cast<std::size_t>(layout.bitsPerPixel) / 8;
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t height = static_cast<std::size_t>(layout.height);
    const auto rowStride = bmpRowStride(bytes, layout);
    if (!rowStride) {
        return rowStride.error();
    }
    const std::size_t stride = rowStride.value();
    const MaskedChannel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]);
    cv::Mat rgb(layout.height, layout.width, CV_8UC3);
    for (std::size_t step = 0; step < height; ++step) {
        const auto* source = reinterpret_cast<const unsigned char*>(bytes.data()) + layout.pixelOffset + step * stride;
        auto* target = rgb.ptr<cv::Vec3b>(static_cast<int>(layout.topDown ? step : height - 1 - step));
        for (std::size_t column = 0; column < width; ++column, source += bytesPerPixel) {
            std::uint32_t pixel = 0;
            for (std::size_t byte = bytesPerPixel; byte-- > 0;) {
                pixel = (pixel << 8) | source[byte];
            }
            target[column] = cv::Vec3b(red.sample(pixel), green.sample(pixel), blue.sample(pixel));
        }
    }
    return rgb;
}

}  // namespace lumenary::platform::vision
