#pragma once

#include <optional>

#include <opencv2/core.hpp>

#include "platform/vision/worker/text_line_decoding.hpp"

namespace lumenary::platform::vision {

// The height the recognition network reads a line at.
inline constexpr int networkLineHeight = 48;

// One line read by the text-recognition network of the text networks'
// folder (ch_PP-OCRv4_rec_infer.onnx, Chinese and Latin script, with its
// character list ppocr_keys_v1.txt): `line` is an 8-bit grey image of the
// line, level, networkLineHeight px high with room around it; it is read
// at its width rounded up to 320 to 640 px in steps of 64, 800, 960 or
// 1280 px (a network loaded for each on first use), or squeezed to 1280.
// None when the network or its character list cannot be loaded: the first
// such call for the folder writes one line on standard error saying why.
// Where the network was unsure, the words around choose between the
// characters it saw (likeliestReading, with chineseWordFrequencies when
// the word list can be read). Not for two threads at once. A line with ink the network read no
// character for reads as nothing (see holdsUnreadInk), for the caller to
// read otherwise.
std::optional<NetworkLineText> readLineWithNetwork(const cv::Mat& line);

}  // namespace lumenary::platform::vision
