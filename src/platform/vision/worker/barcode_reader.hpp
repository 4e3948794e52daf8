#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// Every barcode of every supported format in an 8-bit RGB image, in the
// reading library's order: its symbology (barcode_symbology.hpp), its text
// (absent for binary content) and the box enclosing its position, normalised
// with the origin lower left. Looks hard (a second linear code on the same
// rows is missed otherwise) and at the image turned a quarter (for linear
// codes standing upright).
//
// Debian's reading library is built with assertions on: some images (two
// identical linear codes side by side) abort the process. Call this only
// inside the worker process.
PlatformOutcome<std::vector<BarcodeObservation>> readBarcodes(const cv::Mat& rgb);

}  // namespace lumenary::platform::vision
