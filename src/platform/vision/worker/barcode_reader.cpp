#include "platform/vision/worker/barcode_reader.hpp"

#include <algorithm>
#include <exception>
#include <limits>
#include <string>

#include <ZXing/ReadBarcode.h>

#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/worker/barcode_symbology.hpp"
#include "platform/vision/worker/normalized_rect_from_pixels.hpp"

namespace lumenary::platform::vision {
namespace {

std::string symbologyOf(ZXing::BarcodeFormat format) {
    namespace names = barcode_symbology;
    switch (format) {
        case ZXing::BarcodeFormat::Aztec: return std::string(names::aztec);
        case ZXing::BarcodeFormat::Codabar: return std::string(names::codabar);
        case ZXing::BarcodeFormat::Code39: return std::string(names::code39);
        case ZXing::BarcodeFormat::Code93: return std::string(names::code93);
        case ZXing::BarcodeFormat::Code128: return std::string(names::code128);
        case ZXing::BarcodeFormat::DataBar: return std::string(names::dataBar);
        case ZXing::BarcodeFormat::DataBarExpanded: return std::string(names::dataBarExpanded);
        case ZXing::BarcodeFormat::DataMatrix: return std::string(names::dataMatrix);
        case ZXing::BarcodeFormat::EAN8: return std::string(names::ean8);
        case ZXing::BarcodeFormat::EAN13: return std::string(names::ean13);
        case ZXing::BarcodeFormat::ITF: return std::string(names::itf);
        case ZXing::BarcodeFormat::MaxiCode: return std::string(names::maxiCode);
        case ZXing::BarcodeFormat::PDF417: return std::string(names::pdf417);
        case ZXing::BarcodeFormat::QRCode: return std::string(names::qrCode);
        case ZXing::BarcodeFormat::UPCA: return std::string(names::upcA);
        case ZXing::BarcodeFormat::UPCE: return std::string(names::upcE);
        case ZXing::BarcodeFormat::MicroQRCode: return std::string(names::microQRCode);
        default:
            // A format a later library adds still gets the library's own name.
            return ZXing::ToString(format);
    }
}

NormalizedRect enclosingBox(const ZXing::Position& position, cv::Size imageSize) {
    int left = std::numeric_limits<int>::max();
    int top = std::numeric_limits<int>::max();
    int right = std::numeric_limits<int>::min();
    int bottom = std::numeric_limits<int>::min();
    for (const ZXing::PointI& corner : position) {
        left = std::min(left, corner.x);
        right = std::max(right, corner.x);
        top = std::min(top, corner.y);
        bottom = std::max(bottom, corner.y);
    }
    return normalizedRectFromPixels(left, top, right, bottom, imageSize);
}

}  // namespace

PlatformOutcome<std::vector<BarcodeObservation>> readBarcodes(const cv::Mat& rgb) {
    if (rgb.empty() || rgb.type() != CV_8UC3) {
        return visionServiceError(500, "Barcode reading needs an 8-bit RGB image");
    }
    const ZXing::ImageView image(rgb.data, rgb.cols, rgb.rows, ZXing::ImageFormat::RGB, static_cast<int>(rgb.step));
    const auto hints = ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::Any).setTryHarder(true).setTryRotate(true);
    ZXing::Results results;
    try {
        results = ZXing::ReadBarcodes(image, hints);
    } catch (const std::exception& failure) {
        return visionServiceError(500, std::string("Barcode reading failed: ") + failure.what());
    }

    std::vector<BarcodeObservation> barcodes;
    barcodes.reserve(results.size());
    for (const ZXing::Result& result : results) {
        BarcodeObservation barcode;
        barcode.symbology = symbologyOf(result.format());
        if (result.contentType() != ZXing::ContentType::Binary) {
            barcode.payload = result.text();
        }
        barcode.boundingBox = enclosingBox(result.position(), rgb.size());
        barcodes.push_back(std::move(barcode));
    }
    return barcodes;
}

}  // namespace lumenary::platform::vision
