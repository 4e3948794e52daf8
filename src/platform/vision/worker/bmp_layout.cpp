#include "platform/vision/worker/bmp_layout.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

namespace {

constexpr std::size_t fileHeaderSize = 14;
constexpr std::size_t coreHeaderSize = 12;
constexpr std::size_t windowsHeaderSize = 40;
// OS/2's second header, whose compressions 3 and 4 are Huffman coding and
// 24-bit run-length encoding, not bit fields and JPEG.
constexpr std::size_t os2HeaderSize = 64;

PlatformError refusedLayout(const std::string& reason) {
    return visionServiceError(400, reason);
}

PlatformOutcome<BmpCompression> compressionOf(std::uint32_t code, int bitsPerPixel, std::size_t infoSize) {
    switch (code) {
        case 0:
            if (bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
                bitsPerPixel == 24 || bitsPerPixel == 32) {
                return BmpCompression::none;
            }
            return refusedLayout("a BMP of " + std::to_string(bitsPerPixel) + " bits a pixel is not decoded");
        case 1:
        case 2: {
            const int allowed = code == 1 ? 8 : 4;
            if (bitsPerPixel != allowed) {
                return refusedLayout("a BMP run-length encoded for " + std::to_string(allowed) + " bits a pixel has " +
                                     std::to_string(bitsPerPixel));
            }
            return code == 1 ? BmpCompression::runLength8 : BmpCompression::runLength4;
        }
        case 3:
            if (infoSize == os2HeaderSize) {
                return refusedLayout("an OS/2 BMP with Huffman coding is not decoded");
            }
            if (bitsPerPixel != 16 && bitsPerPixel != 32) {
                return refusedLayout("a BMP with bit fields of " + std::to_string(bitsPerPixel) +
                                     " bits a pixel is not decoded");
            }
            return BmpCompression::bitFields;
        case 4:
            if (infoSize == os2HeaderSize) {
                return refusedLayout("an OS/2 BMP run-length encoded at 24 bits a pixel is not decoded");
            }
            return refusedLayout("a BMP holding a JPEG is not decoded");
        case 5: return refusedLayout("a BMP holding a PNG is not decoded");
        default: return refusedLayout("a BMP with compression " + std::to_string(code) + " is not decoded");
    }
}

// Bit fields come inside the info header from its 52-byte form on and
// right after the 40-byte one: 40 bytes into it either way.
PlatformOutcome<std::array<std::uint32_t, 3>> masksOf(std::string_view bytes, int bitsPerPixel) {
    const std::size_t offset = fileHeaderSize + windowsHeaderSize;
    if (bytes.size() < offset + 12) {
        return refusedLayout("its bit fields are cut short");
    }
    std::array<std::uint32_t, 3> masks{};
    for (std::size_t channel = 0; channel < masks.size(); ++channel) {
        const auto mask = bmpField(bytes, offset + 4 * channel, 4);
        if (mask == 0) {
            return refusedLayout("its bit fields are not runs of bits inside a pixel");
        }
        const auto bits = mask >> std::countr_zero(mask);
        if ((bits & (bits + 1)) != 0 || (bitsPerPixel == 16 && mask > 0xFFFF)) {
            return refusedLayout("its bit fields are not runs of bits inside a pixel");
        }
        masks[channel] = mask;
    }
    return masks;
}

// As many entries as the header names (all a bit depth allows when it
// names none), fewer where the pixels start sooner.
PlatformOutcome<std::vector<cv::Vec3b>> paletteOf(std::string_view bytes, std::size_t start, std::size_t pixelOffset,
                                                  std::uint32_t declared, int bitsPerPixel) {
    constexpr std::size_t entrySize = 4;
    const std::size_t largest = std::size_t{1} << bitsPerPixel;
    std::size_t entries = declared == 0 || declared > largest ? largest : declared;
    if (pixelOffset > start) {
        entries = std::min(entries, (pixelOffset - start) / entrySize);
    }
    if (entries == 0) {
        return refusedLayout("its palette is empty");
    }
    if (bytes.size() < start || (bytes.size() - start) / entrySize < entries) {
        return refusedLayout("its palette is cut short");
    }
    std::vector<cv::Vec3b> palette;
    for (std::size_t entry = 0; entry < entries; ++entry) {
        const auto* colour = bytes.data() + start + entry * entrySize;
        palette.emplace_back(static_cast<std::uint8_t>(colour[2]), static_cast<std::uint8_t>(colour[1]),
                             static_cast<std::uint8_t>(colour[0]));
    }
    return palette;
}

}  // namespace

std::uint32_t bmpField(std::string_view bytes, std::size_t offset, std::size_t length) {
    std::uint32_t value = 0;
    for (std::size_t index = length; index-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + index]);
    }
    return value;
}

PlatformOutcome<BmpSides> readBmpSides(std::string_view bytes) {
    if (bytes.size() < fileHeaderSize + coreHeaderSize) {
        return refusedLayout("its headers are cut short");
    }
    const std::size_t infoSize = bmpField(bytes, fileHeaderSize, 4);
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (infoSize == coreHeaderSize) {
        width = bmpField(bytes, 18, 2);
        height = bmpField(bytes, 20, 2);
    } else if (infoSize >= windowsHeaderSize) {
        width = static_cast<std::int32_t>(bmpField(bytes, 18, 4));
        height = static_cast<std::int32_t>(bmpField(bytes, 22, 4));
    } else {
        return refusedLayout("its info header of " + std::to_string(infoSize) + " bytes is of no known kind");
    }
    if (width <= 0) {
        return refusedLayout("its width of " + std::to_string(width) + " pixels is not positive");
    }
    if (height == 0) {
        return refusedLayout("its height of 0 pixels is not positive");
    }
    // The one negative height with no positive int as its size.
    if (std::llabs(height) > std::numeric_limits<int>::max()) {
        return refusedLayout("its height of " + std::to_string(height) + " pixels is out of range");
    }
    return BmpSides{static_cast<int>(width), static_cast<int>(std::llabs(height)), height < 0};
}

PlatformOutcome<BmpLayout> readBmpLayout(std::string_view bytes) {
    const auto sides = readBmpSides(bytes);
    if (!sides) {
        return sides.error();
    }
    // The sides' reader has seen the file header and the info header's size.
    const std::size_t infoSize = bmpField(bytes, fileHeaderSize, 4);
    if (bytes.size() - fileHeaderSize < infoSize) {
        return refusedLayout("its headers are cut short");
    }
    BmpLayout layout;
    layout.width = sides.value().width;
    layout.height = sides.value().height;
    layout.topDown = sides.value().topDown;
    layout.pixelOffset = bmpField(bytes, 10, 4);
    const bool core = infoSize == coreHeaderSize;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    if (core) {
        layout.bitsPerPixel = static_cast<int>(bmpField(bytes, 24, 2));
    } else {
        layout.bitsPerPixel = static_cast<int>(bmpField(bytes, 28, 2));
        compression = bmpField(bytes, 30, 4);
        coloursUsed = bmpField(bytes, 46, 4);
    }
    const auto kind = compressionOf(compression, layout.bitsPerPixel, infoSize);
    if (!kind) {
        return kind.error();
    }
    layout.compression = kind.value();
    if (layout.compression == BmpCompression::none) {
        // OpenCV reads these rows; it reads them from an offset inside the
        // headers too, but never from one past the file's end.
        if (layout.pixelOffset > bytes.size()) {
            return refusedLayout("its pixels do not start after its headers inside the file");
        }
        return layout;
    }
    std::size_t headersEnd = fileHeaderSize + infoSize;
    if (layout.compression == BmpCompression::bitFields) {
        auto masks = masksOf(bytes, layout.bitsPerPixel);
        if (!masks) {
            return masks.error();
        }
        layout.masks = masks.value();
        if (infoSize == windowsHeaderSize) {
            headersEnd += 12;
        }
    } else {
        if (layout.topDown) {
            return refusedLayout("a top-down BMP cannot be run-length encoded");
        }
        auto palette = paletteOf(bytes, headersEnd, layout.pixelOffset, coloursUsed, layout.bitsPerPixel);
        if (!palette) {
            return palette.error();
        }
        layout.palette = std::move(palette).value();
        headersEnd += layout.palette.size() * 4;  // blue, green, red and a spare byte
    }
    if (layout.pixelOffset < headersEnd || layout.pixelOffset > bytes.size()) {
        return refusedLayout("its pixels do not start after its headers inside the file");
    }
    return layout;
}

PlatformOutcome<std::size_t> bmpRowStride(std::string_view bytes, const BmpLayout& layout) {
    const auto rowBits = static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.bitsPerPixel);
    const std::size_t stride = (rowBits + 31) / 32 * 4;
    if (layout.pixelOffset > bytes.size() ||
        (bytes.size() - layout.pixelOffset) / stride < static_cast<std::size_t>(layout.height)) {
        return visionServiceError(500, "its rows end before its last one does");
    }
    return stride;
}

}  // namespace lumenary::platform::vision
