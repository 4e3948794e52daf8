#pragma once

#include <string_view>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/worker/bmp_layout.hpp"

namespace lumenary::platform::vision {

// The pixels of the 16- or 32-bit BMP with bit fields in `bytes`, as
// `layout` read from its headers says, as 8-bit RGB: each channel scaled
// from its mask's width to 8 bits, alpha left out as for every other
// image. The caller has bounded the pixel count. Errors, code 500, the
// description the reason alone: rows that end before the last one does.
PlatformOutcome<cv::Mat> decodeBitFieldsBmp(std::string_view bytes, const BmpLayout& layout);

}  // namespace lumenary::platform::vision
