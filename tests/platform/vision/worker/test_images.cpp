#include "platform/vision/worker/test_images.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <opencv2/imgproc.hpp>

namespace lumenary::vision_test {

std::u32string codePoints(std::string_view utf8) {
    std::u32string points;
    for (std::size_t index = 0; index < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[index]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (int continuation = 1; continuation < length && index + continuation < utf8.size(); ++continuation) {
            point = (point << 6) | (static_cast<unsigned char>(utf8[index + continuation]) & 0x3F);
        }
        points.push_back(point);
        index += static_cast<std::size_t>(length);
    }
    return points;
}

namespace {

const cv::Scalar white(255, 255, 255);

struct FreeTypeLibrary {
    FT_Library handle = nullptr;
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&handle) != 0) {
            throw std::runtime_error("FreeType did not start");
        }
    }
    ~FreeTypeLibrary() { FT_Done_FreeType(handle); }
};

struct FreeTypeFace {
    FT_Face handle = nullptr;
    FreeTypeFace(FT_Library library, const FontFace& font, int pixelSize) {
        if (FT_New_Face(library, font.path.c_str(), font.index, &handle) != 0) {
            throw std::runtime_error("no font at " + font.path);
        }
        FT_Set_Pixel_Sizes(handle, 0, static_cast<FT_UInt>(pixelSize));
    }
    ~FreeTypeFace() { FT_Done_Face(handle); }
};

// Darkens `canvas` where the glyph's coverage is, its origin at `origin`.
void drawGlyph(cv::Mat& canvas, const FT_Bitmap& bitmap, cv::Point origin) {
    for (unsigned int row = 0; row < bitmap.rows; ++row) {
        for (unsigned int column = 0; column < bitmap.width; ++column) {
            const int x = origin.x + static_cast<int>(column);
            const int y = origin.y + static_cast<int>(row);
            if (x < 0 || y < 0 || x >= canvas.cols || y >= canvas.rows) {
                continue;
            }
            const std::uint8_t coverage = bitmap.buffer[row * static_cast<unsigned int>(bitmap.pitch) + column];
            auto& pixel = canvas.at<cv::Vec3b>(y, x);
            const auto ink = static_cast<std::uint8_t>(255 - coverage);
            pixel = cv::Vec3b(std::min(pixel[0], ink), std::min(pixel[1], ink), std::min(pixel[2], ink));
        }
    }
}

int lineWidth(FT_Face face, const std::u32string& line) {
    long width = 0;
    for (const char32_t point : line) {
        if (FT_Load_Char(face, point, FT_LOAD_DEFAULT) == 0) {
            width += face->glyph->advance.x >> 6;
        }
    }
    return static_cast<int>(width);
}

cv::Mat imageOf(const ZXing::BitMatrix& matrix, int moduleSize, int quietModules) {
    const int margin = quietModules * moduleSize;
    cv::Mat image(matrix.height() * moduleSize + 2 * margin, matrix.width() * moduleSize + 2 * margin, CV_8UC3, white);
    for (int y = 0; y < matrix.height(); ++y) {
        for (int x = 0; x < matrix.width(); ++x) {
            if (matrix.get(x, y)) {
                cv::rectangle(image, cv::Rect(margin + x * moduleSize, margin + y * moduleSize, moduleSize, moduleSize),
                              cv::Scalar(0, 0, 0), cv::FILLED);
            }
        }
    }
    return image;
}

bool isLinear(ZXing::BarcodeFormat format) {
    return (ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes) & format) != ZXing::BarcodeFormats();
}

}  // namespace

FontFace dejaVuSans() {
    return {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0};
}

FontFace notoSansSimplifiedChinese() {
    return {"/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc", 2};
}

cv::Mat renderedText(const std::vector<std::string>& lines, const FontFace& font, int pixelSize) {
    const FreeTypeLibrary library;
    const FreeTypeFace face(library.handle, font, pixelSize);
    std::vector<std::u32string> pointLines;
    int widest = 0;
    for (const std::string& line : lines) {
        pointLines.push_back(codePoints(line));
        widest = std::max(widest, lineWidth(face.handle, pointLines.back()));
    }
    const int margin = pixelSize;
    const int lineHeight = pixelSize * 3 / 2;
    cv::Mat canvas(2 * margin + lineHeight * static_cast<int>(lines.size()), 2 * margin + widest, CV_8UC3, white);
    int baseline = margin + pixelSize;
    for (const std::u32string& line : pointLines) {
        int pen = margin;
        for (const char32_t point : line) {
            if (FT_Load_Char(face.handle, point, FT_LOAD_RENDER) != 0) {
                continue;
            }
            const FT_GlyphSlot glyph = face.handle->glyph;
            drawGlyph(canvas, glyph->bitmap, {pen + glyph->bitmap_left, baseline - glyph->bitmap_top});
            pen += static_cast<int>(glyph->advance.x >> 6);
        }
        baseline += lineHeight;
    }
    return canvas;
}

cv::Mat drawnBarcode(ZXing::BarcodeFormat format, const std::string& contents, int moduleSize) {
    // The writer's smallest drawing: one pixel per module, one row for a
    // linear code, which is then stretched to a readable height.
    const bool ascii = std::all_of(contents.begin(), contents.end(),
                                   [](char character) { return static_cast<unsigned char>(character) < 0x80; });
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(format)
                                        .setEncoding(ascii ? ZXing::CharacterSet::Unknown : ZXing::CharacterSet::UTF8)
                                        .setMargin(0)
                                        .encode(contents, 1, 1);
    cv::Mat image = imageOf(matrix, moduleSize, 10);
    if (isLinear(format)) {
        cv::Mat tall;
        cv::resize(image(cv::Rect(0, image.rows / 2, image.cols, 1)), tall, cv::Size(image.cols, 60 * moduleSize), 0, 0,
                   cv::INTER_NEAREST);
        cv::copyMakeBorder(tall, image, 10 * moduleSize, 10 * moduleSize, 0, 0, cv::BORDER_CONSTANT, white);
    }
    return image;
}

cv::Mat drawnBinaryQrCode(const std::string& bytes) {
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                        .setEncoding(ZXing::CharacterSet::BINARY)
                                        .setMargin(0)
                                        .encode(bytes, 1, 1);
    return imageOf(matrix, 4, 4);
}

cv::Mat turned(const cv::Mat& image, double degrees) {
    const cv::Point2f centre(static_cast<float>(image.cols) / 2.0F, static_cast<float>(image.rows) / 2.0F);
    cv::Mat rotation = cv::getRotationMatrix2D(centre, degrees, 1.0);
    const cv::Rect2f bounds =
        cv::RotatedRect(cv::Point2f(), image.size(), static_cast<float>(degrees)).boundingRect2f();
    rotation.at<double>(0, 2) += bounds.width / 2.0 - centre.x;
    rotation.at<double>(1, 2) += bounds.height / 2.0 - centre.y;
    cv::Mat result;
    cv::warpAffine(image, result, rotation,
                   cv::Size(static_cast<int>(std::ceil(bounds.width)), static_cast<int>(std::ceil(bounds.height))),
                   cv::INTER_LINEAR, cv::BORDER_CONSTANT, white);
    return result;
}

cv::Mat placedOnCanvas(const cv::Mat& image, cv::Size size, cv::Point topLeft) {
    cv::Mat canvas(size, CV_8UC3, white);
    image.copyTo(canvas(cv::Rect(topLeft, image.size())));
    return canvas;
}

platform::vision::NormalizedRect inkedRegion(const cv::Mat& image) {
    cv::Mat grey;
    cv::cvtColor(image, grey, cv::COLOR_RGB2GRAY);
    cv::Mat ink;
    cv::threshold(grey, ink, 128, 255, cv::THRESH_BINARY_INV);
    const cv::Rect box = cv::boundingRect(ink);
    const double width = image.cols;
    const double height = image.rows;
    return {.x = box.x / width,
            .y = (height - box.y - box.height) / height,
            .width = box.width / width,
            .height = box.height / height};
}

cv::Mat twoIdenticalLinearBarcodes() {
    const cv::Mat single = drawnBarcode(ZXing::BarcodeFormat::Code128, "LUMENARY-42", 2);
    cv::Mat pair;
    cv::hconcat(single, single, pair);
    return pair;
}

}  // namespace lumenary::vision_test
