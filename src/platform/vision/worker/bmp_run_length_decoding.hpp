#pragma once

#include <string_view>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/worker/bmp_layout.hpp"

namespace lumenary::platform::vision {

// The pixels of the run-length encoded BMP in `bytes` (RLE8 or RLE4, as
// `layout` read from its headers says) as 8-bit RGB. The caller has bounded
// the pixel count; the work is linear in it and in the file's size.
//
// Runs are clipped at a row's end (writers encode a row's padding too),
// a delta or end of line past the last row ends the image, and a pixel the
// data skips takes palette index 0, as Windows draws it. Errors, code 500,
// the description the reason alone: data that ends before the last row, a
// run cut short, a pixel naming a colour past the palette.
PlatformOutcome<cv::Mat> decodeRunLengthBmp(std::string_view bytes, const BmpLayout& layout);

}  // namespace lumenary::platform::vision
