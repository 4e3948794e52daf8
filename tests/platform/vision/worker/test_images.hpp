#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <ZXing/BarcodeFormat.h>
#include <opencv2/core.hpp>

#include "platform/vision/vision_observations.hpp"

// Images the vision worker's tests draw themselves: text through FreeType,
// barcodes through the barcode library's own writer. All are 8-bit RGB,
// dark on white.
namespace lumenary::vision_test {

struct FontFace {
    std::string path;
    long index = 0;  // the face inside a font collection
};
FontFace dejaVuSans();
FontFace notoSansSimplifiedChinese();

// The code points of UTF-8 text (a sequence cut short at the end gives
// what it holds).
std::u32string codePoints(std::string_view utf8);

// UTF-8 lines drawn one below the other at `pixelSize`, with a margin.
cv::Mat renderedText(const std::vector<std::string>& lines, const FontFace& font, int pixelSize);

// One barcode of `format` holding `contents`, drawn `moduleSize` pixels per
// module with a quiet zone around it, on a white canvas. Text beyond ASCII
// is written as UTF-8.
cv::Mat drawnBarcode(ZXing::BarcodeFormat format, const std::string& contents, int moduleSize = 3);

// A QR code holding `bytes` as binary content (no text encoding).
cv::Mat drawnBinaryQrCode(const std::string& bytes);

// `image` turned counter-clockwise by `degrees` on a larger white canvas
// that holds all of it.
cv::Mat turned(const cv::Mat& image, double degrees);

// `image` on a white canvas of `size`, its top-left corner at `topLeft`.
cv::Mat placedOnCanvas(const cv::Mat& image, cv::Size size, cv::Point topLeft);

// The box around every dark pixel of `image`, normalised with the origin
// lower left, as an analysis should report it.
platform::vision::NormalizedRect inkedRegion(const cv::Mat& image);

// Two identical Code128 codes side by side on the same rows. Debian's
// barcode library (built with assertions on) aborts the whole process when
// it reads this image looking hard; never read it in a test program's own
// process.
cv::Mat twoIdenticalLinearBarcodes();

}  // namespace lumenary::vision_test
