#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumenary::platform::vision {

// The image file formats the worker decodes; every other one is refused.
enum class ImageFormat { jpeg, png, bmp, tiff, webp, heic };

// What an image file's header says, read before any pixel is decoded.
struct ImageHeader {
    ImageFormat format = ImageFormat::png;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The header of the image in `bytes`; absent for a format the worker does
// not decode or a header that cannot be read. Reads the header only, in a
// fraction of a millisecond, whatever size it declares.
std::optional<ImageHeader> readImageHeader(std::string_view bytes);

}  // namespace lumenary::platform::vision
