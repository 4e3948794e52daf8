#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

enum class BmpCompression { none, runLength8, runLength4, bitFields };

// How a BMP file stores its pixels, as its headers say.
struct BmpLayout {
    int width = 0;
    int height = 0;
    bool topDown = false;  // else the last row comes first
    int bitsPerPixel = 0;
    BmpCompression compression = BmpCompression::none;
    // Read for the run-length forms only: the entries the file holds, RGB.
    std::vector<cv::Vec3b> palette;
    // Red, green and blue of a bit-fields pixel, each one run of bits
    // inside the pixel.
    std::array<std::uint32_t, 3> masks{};
    // Where the pixels start; inside the file, past the headers and palette.
    std::size_t pixelOffset = 0;
};

// The little-endian field of `length` bytes (at most 4) at `offset` in a
// BMP's headers; the caller has checked that the bytes are there.
std::uint32_t bmpField(std::string_view bytes, std::size_t offset, std::size_t length);

struct BmpSides {
    int width = 0;
    int height = 0;
    bool topDown = false;
};

// A BMP's sides as its info header gives them: 16-bit fields in OS/2's
// core header, 32-bit ones from Windows 3 on, where a negative height marks
// a top-down image. Errors, code 400, the description the reason alone:
// headers too short to hold the sides, an info header of no known kind, a
// side that is not positive or not an int.
PlatformOutcome<BmpSides> readBmpSides(std::string_view bytes);

// The layout of the BMP in `bytes`, read from its headers alone. Errors,
// code 400, the description the reason alone: a compression other than
// those above (JPEG or PNG inside, OS/2's own), a bit depth its compression
// does not allow, a top-down run-length image, masks that are not runs of
// bits, headers or a palette cut short, sides as readBmpSides refuses them,
// pixels that start past the file's end.
PlatformOutcome<BmpLayout> readBmpLayout(std::string_view bytes);

// The bytes from one row's start to the next in a BMP of plain rows or bit
// fields: rows are padded to whole 32-bit words. Error, code 500, "its rows
// end before its last one does" when the rows do not all lie in `bytes`
// from the pixel offset on.
PlatformOutcome<std::size_t> bmpRowStride(std::string_view bytes, const BmpLayout& layout);

}  // namespace lumenary::platform::vision
