#pragma once

#include <string_view>

namespace lumenary::platform::vision {

// The "symbology" of a BarcodeObservation: one fixed name per format the
// barcode reader decodes, spelled as the reading library names its formats.
namespace barcode_symbology {
inline constexpr std::string_view aztec = "Aztec";
inline constexpr std::string_view codabar = "Codabar";
inline constexpr std::string_view code39 = "Code39";
inline constexpr std::string_view code93 = "Code93";
inline constexpr std::string_view code128 = "Code128";
inline constexpr std::string_view dataBar = "DataBar";
inline constexpr std::string_view dataBarExpanded = "DataBarExpanded";
inline constexpr std::string_view dataMatrix = "DataMatrix";
inline constexpr std::string_view ean8 = "EAN-8";
inline constexpr std::string_view ean13 = "EAN-13";
inline constexpr std::string_view itf = "ITF";
inline constexpr std::string_view maxiCode = "MaxiCode";
inline constexpr std::string_view pdf417 = "PDF417";
inline constexpr std::string_view qrCode = "QRCode";
inline constexpr std::string_view upcA = "UPC-A";
inline constexpr std::string_view upcE = "UPC-E";
inline constexpr std::string_view microQRCode = "MicroQRCode";
}  // namespace barcode_symbology

}  // namespace lumenary::platform::vision
