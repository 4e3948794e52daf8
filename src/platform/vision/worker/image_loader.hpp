#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

// No image with more pixels is decoded: at three bytes a pixel and a few
// working copies, this is what the worker's memory holds.
inline constexpr std::int64_t maximumImagePixels = 100'000'000;
// No image with a longer side is decoded: OpenCV's decoders refuse one with
// a message of their own.
inline constexpr std::int64_t maximumImageSide = std::int64_t{1} << 20;
// No larger file is read (an uncompressed 100-megapixel TIFF with 16-bit
// samples and alpha comes close).
inline constexpr std::int64_t maximumImageFileBytes = std::int64_t{1} << 30;

// Loads the image file at `path` as 8-bit RGB (CV_8UC3), turned upright by
// its EXIF orientation. Only a regular file is opened, and never in a way
// that could block. Errors, domain "VisionService":
//   404 "Image file not found at path: <path>"
//   400 "Failed to load image from path: <path>" (not a regular file, not
//       readable, not JPEG, PNG, BMP, TIFF, WebP or HEIC)
//   400 "Failed to load image from path: <path> (<reason>)" (an empty
//       file; a BMP in a form that is not decoded: JPEG inside, a bit depth
//       its compression does not allow, ...; a BMP whose headers are cut
//       short or give a side that is not positive or pixels past its end)
//   400 an image over maximumImagePixels or with a side over
//       maximumImageSide (a PNG: over 1,000,000, libpng's own limit), the
//       message naming its size and the limit
//   500 "Failed to convert NSImage to CGImage" (the header was read but the
//       pixels could not be decoded), with " (<reason>)" after it where the
//       pixels are a BMP's that are cut short or name colours past its
//       palette
//
// An analysis that works on a small copy anyway passes the longer side it
// needs: a JPEG is then decoded at a half, a quarter or an eighth of its
// size where that still leaves this many pixels (the decoder skips most of
// its work). 0 decodes the full size.
PlatformOutcome<cv::Mat> loadImage(const std::string& path, int smallestLongerSide = 0);

}  // namespace lumenary::platform::vision
