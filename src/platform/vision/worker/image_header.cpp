#include "platform/vision/worker/image_header.hpp"

#include <leptonica/allheaders.h>
#include <libheif/heif.h>

#include <cstddef>
#include <limits>
#include <memory>

#include "platform/vision/worker/bmp_layout.hpp"

namespace lumenary::platform::vision {

namespace {

std::optional<ImageFormat> formatOfLeptonica(l_int32 format) {
    switch (format) {
        case IFF_JFIF_JPEG:
            return ImageFormat::jpeg;
        case IFF_PNG:
            return ImageFormat::png;
        case IFF_BMP:
            return ImageFormat::bmp;
        case IFF_WEBP:
            return ImageFormat::webp;
        default:
            if (L_FORMAT_IS_TIFF(format)) {
                return ImageFormat::tiff;
            }
            return std::nullopt;
    }
}

struct HeaderHeifContextRelease {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HeaderHeifHandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};

// libheif parses the container's boxes only: the size comes from the
// primary image's properties, with its rotation applied.
std::optional<ImageHeader> readHeifHeader(std::string_view bytes) {
    std::unique_ptr<heif_context, HeaderHeifContextRelease> context(heif_context_alloc());
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
            heif_error_Ok) {
        return std::nullopt;
    }
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok) {
        return std::nullopt;
    }
    std::unique_ptr<heif_image_handle, HeaderHeifHandleRelease> handle(primary);
    return ImageHeader{ImageFormat::heic, heif_image_handle_get_width(handle.get()),
                       heif_image_handle_get_height(handle.get())};
}

// Leptonica's header reader decodes a whole BMP to learn its size, so the
// size comes from the info header here.
std::optional<ImageHeader> readBmpHeader(std::string_view bytes) {
    const auto sides = readBmpSides(bytes);
    if (!sides) {
        return std::nullopt;
    }
    return ImageHeader{ImageFormat::bmp, sides.value().width, sides.value().height};
}

}  // namespace

std::optional<ImageHeader> readImageHeader(std::string_view bytes) {
    const auto* data = reinterpret_cast<const l_uint8*>(bytes.data());
    // Every signature the checks below look at fits in 12 bytes.
    if (bytes.size() < 12 || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    if (heif_check_filetype(data, static_cast<int>(bytes.size())) == heif_filetype_yes_supported) {
        // The container also carries AV1 images (AVIF), which are not HEIC.
        const heif_brand brand = heif_main_brand(data, static_cast<int>(bytes.size()));
        if (brand == heif_avif || brand == heif_avis) {
            return std::nullopt;
        }
        return readHeifHeader(bytes);
    }
    l_int32 format = IFF_UNKNOWN;
    if (findFileFormatBuffer(data, &format) != 0 || !formatOfLeptonica(format)) {
        return std::nullopt;
    }
    if (format == IFF_BMP) {
        return readBmpHeader(bytes);
    }
    l_int32 width = 0, height = 0, bitsPerSample = 0, samplesPerPixel = 0, colourMapped = 0;
    if (pixReadHeaderMem(data, bytes.size(), &format, &width, &height, &bitsPerSample, &samplesPerPixel,
                         &colourMapped) != 0) {
        return std::nullopt;
    }
    const auto imageFormat = formatOfLeptonica(format);
    if (!imageFormat || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    return ImageHeader{*imageFormat, width, height};
}

}  // namespace lumenary::platform::vision
