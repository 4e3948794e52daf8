#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

// BMP files in each form writers produce, written byte by byte from the
// public format description, so that a test can say which form it loads.
namespace lumenary::vision_test {

enum class BmpInfoHeader {
    core,      // OS/2's 12 bytes, 16-bit sizes, three-byte palette entries
    windows,   // BITMAPINFOHEADER, 40 bytes; bit fields follow it
    version4,  // BITMAPV4HEADER, 108 bytes, the masks inside
    version5,  // BITMAPV5HEADER, 124 bytes
};

enum class BmpCompression { none, runLength, bitFields };

struct BmpForm {
    int bitsPerPixel = 24;                              // 1, 4 or 8 with a palette; 16, 24 or 32
    BmpCompression compression = BmpCompression::none;  // runLength: RLE8 at 8 bits, RLE4 at 4
    BmpInfoHeader infoHeader = BmpInfoHeader::windows;
    bool topDown = false;
    // Red, green, blue and alpha of a 16- or 32-bit pixel; the usual
    // 5-5-5 or 8-8-8 ones when all are 0.
    std::array<std::uint32_t, 4> masks{};
    // Run-length encoding only: absolute runs where pixels differ (else
    // one encoded run for each pixel), and pixels of palette index 0 left
    // to deltas, ends of line and an early end of the bitmap.
    bool absoluteRuns = true;
    bool skipsIndexZero = false;
    // Run-length encoding only: each row is encoded out to its padded
    // length of whole 32-bit words, so its last run goes past its end.
    bool encodesRowPadding = false;
    // 8 bits only: a palette of all 256 greys, each at the index of its
    // level (the image must be grey).
    bool greyLevelPalette = false;
};

// A grey image laid out as ImageMagick writes it by default: 8-bit run-length
// encoded behind a version 5 header, all 256 greys in the palette in order,
// encoded runs only, each row's padding encoded too.
BmpForm imageMagickGreyForm();

// The 8-bit RGB `rgb` as a BMP in `form`. A palette holds the image's
// colours in the order they first appear from the top left (so index 0 is
// the top-left pixel's); throws when they do not fit.
std::string bmpBytes(const cv::Mat& rgb, const BmpForm& form);

}  // namespace lumenary::vision_test
