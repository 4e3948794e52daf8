#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// Image files the vision worker's tests write: real encodings of drawn
// images, and hand-made bytes for what no encoder writes.
namespace lumenary::vision_test {

// Writes the 8-bit RGB `rgb` in the format the extension of `path` names
// (".png", ".jpg", ...); returns the path, throws when it cannot.
std::string writtenImage(const std::filesystem::path& path, const cv::Mat& rgb);
// The same as a HEIC file, or as an AVIF file (the same container around
// an AV1 image), through libheif's encoders.
std::string writtenHeic(const std::filesystem::path& path, const cv::Mat& rgb);
std::string writtenAvif(const std::filesystem::path& path, const cv::Mat& rgb);
// Writes `bytes` as they are; returns the path.
std::string writtenBytes(const std::filesystem::path& path, const std::string& bytes);

// A PNG whose header declares `width` x `height` RGB pixels, followed by a
// few bytes of image data: the decompression bomb's shape without its
// size.
std::string pngDeclaring(unsigned width, unsigned height);
// `jpeg` with an EXIF block giving `orientation` (1 to 8) inserted after
// its start marker.
std::string withExifOrientation(const std::string& jpeg, int orientation);
// The JPEG encoding of the 8-bit RGB `image`.
std::string jpegBytes(const cv::Mat& rgb, int quality = 95);

// A textured, colourful image that stands in for a photo, the same for the
// same seed.
cv::Mat photoLikeImage(cv::Size size, unsigned seed);

// The largest difference of one channel of one element between two images
// or tensors of one size and type; huge when their sizes differ.
double largestDifference(const cv::Mat& first, const cv::Mat& second);

}  // namespace lumenary::vision_test
