#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"
#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/vision_observations.hpp"

namespace lumenary::platform::vision {

// The text lines of an 8-bit RGB image, one observation per line in the
// recogniser's reading order, boxes normalised with the origin lower left
// and confidences 0 to 1. "accurate" finds the lines with the
// text-detection network (text_line_detector.hpp) and reads each, cut out
// of the full-size image and turned level, as one line, in reading order;
// where that network cannot be loaded, and for "fast", the lines are found
// by the recogniser's layout analysis as below. "fast" reads a copy scaled
// down to about two megapixels; "accurate" reads the full size. With a language of square
// glyphs (Chinese, Japanese, Korean) the image is scaled so that its lines
// are about 36 px high and read as one block of text, or as one line when
// the layout analysis finds only one; Chinese and Japanese lines keep the
// full-width marks they were printed with. Chinese is read with the larger
// model setup fetches beside Debian's, where it is there. Languages as
// recognitionLanguagePacks gives them (400 for an unsupported tag); a pack
// that is installed but fails to load is a 500. One recogniser per language
// set (the last three used) is loaded on first use and kept for later calls;
// calls are serialised. The recogniser library aborts on some failed
// internal checks: call this only inside the worker process.
PlatformOutcome<std::vector<TextObservation>> recognizeTextLines(const cv::Mat& rgb,
                                                                 const TextRecognitionOptions& options);

}  // namespace lumenary::platform::vision
