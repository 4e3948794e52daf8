#include "platform/vision/worker/image_loader.hpp"

#include <sys/stat.h>

#include <libheif/heif.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/worker/bmp_bit_fields_decoding.hpp"
#include "platform/vision/worker/bmp_layout.hpp"
#include "platform/vision/worker/bmp_run_length_decoding.hpp"
#include "platform/vision/worker/image_header.hpp"

namespace lumenary::platform::vision {

namespace {

PlatformError notFound(const std::string& path) {
    return visionServiceError(404, "Image file not found at path: " + path);
}

PlatformError notLoadable(const std::string& path) {
    return visionServiceError(400, "Failed to load image from path: " + path);
}

PlatformError notLoadable(const std::string& path, const std::string& reason) {
    return visionServiceError(400, "Failed to load image from path: " + path + " (" + reason + ")");
}

PlatformError notDecodable() {
    return visionServiceError(500, "Failed to convert NSImage to CGImage");
}

PlatformError notDecodable(const std::string& reason) {
    return visionServiceError(500, "Failed to convert NSImage to CGImage (" + reason + ")");
}

// The whole file, when `path` names a regular file. A FIFO or a device is
// never opened: opening one can block or act on the device (the shared
// reader checks its descriptor again after opening, in case the path changed
// in between). Its errors all mean the same to a caller here: the image
// could not be loaded.
PlatformOutcome<std::string> readRegularFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        // Whatever keeps us from seeing the file (a folder we may not enter,
        // a loop of links, a name too long) means there is no file to load.
        return notFound(path);
    }
    if (!S_ISREG(status.st_mode)) {
        return notLoadable(path);
    }
    auto bytes = readBoundedFile(path, static_cast<std::uintmax_t>(maximumImageFileBytes), "VisionService");
    if (!bytes) {
        return notLoadable(path);
    }
    return bytes;
}

struct HeifContextRelease {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HeifHandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};

// The primary image as interleaved RGB, its rotation and mirroring applied
// (HEIC's own orientation); empty when it cannot be decoded.
cv::Mat decodeHeic(const std::string& bytes) {
    std::unique_ptr<heif_context, HeifContextRelease> context(heif_context_alloc());
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
            heif_error_Ok) {
        return {};
    }
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok) {
        return {};
    }
    std::unique_ptr<heif_image_handle, HeifHandleRelease> handle(primary);
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
        heif_error_Ok) {
        return {};
    }
    std::unique_ptr<heif_image, HeifImageRelease> image(decoded);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    // Copied out: the pixels belong to the heif image released below.
    return cv::Mat(height, width, CV_8UC3, const_cast<uint8_t*>(pixels), static_cast<std::size_t>(stride)).clone();
}

int openCVDecodeFlags(const ImageHeader& header, int smallestLongerSide) {
    if (header.format != ImageFormat::jpeg || smallestLongerSide <= 0) {
        return cv::IMREAD_COLOR;
    }
    const auto longerSide = std::max(header.width, header.height);
    for (const auto& [factor, flags] : {std::pair{8, cv::IMREAD_REDUCED_COLOR_8}, std::pair{4, cv::IMREAD_REDUCED_COLOR_4},
                                        std::pair{2, cv::IMREAD_REDUCED_COLOR_2}}) {
        if (longerSide / factor >= smallestLongerSide) {
            return flags;
        }
    }
    return cv::IMREAD_COLOR;
}

// OpenCV applies a JPEG's or PNG's EXIF orientation itself when it decodes
// in colour, and answers BGR.
cv::Mat decodeWithOpenCV(const std::string& bytes, int flags) {
    const cv::Mat encoded(1, static_cast<int>(bytes.size()), CV_8UC1, const_cast<char*>(bytes.data()));
    cv::Mat bgr = cv::imdecode(encoded, flags);
    if (bgr.empty() || bgr.type() != CV_8UC3) {
        return {};
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return rgb;
}

// OpenCV decodes a BMP of plain rows right, but answers a wrong picture as
// a success for a run-length one whose runs pass a row's end (ImageMagick
// encodes each row's padding too) and for bit fields with other than the
// usual masks. The run-length and bit-fields forms are decoded here; the
// answer is empty for the plain ones.
PlatformOutcome<cv::Mat> decodeCompressedBmp(const std::string& path, const std::string& bytes) {
    const auto layout = readBmpLayout(bytes);
    if (!layout) {
        return notLoadable(path, layout.error().description);
    }
    if (layout.value().compression == BmpCompression::none) {
        // OpenCV refuses rows cut short without saying so.
        const auto rowStride = bmpRowStride(bytes, layout.value());
        if (!rowStride) {
            return notDecodable(rowStride.error().description);
        }
        return cv::Mat();
    }
    auto decoded = layout.value().compression == BmpCompression::bitFields ? decodeBitFieldsBmp(bytes, layout.value())
                                                                           : decodeRunLengthBmp(bytes, layout.value());
    if (!decoded) {
        return notDecodable(decoded.error().description);
    }
    return decoded;
}

// What keeps the header of a file that is empty or starts as a BMP does
// from being read; none for other files, which show no more of what they
// were meant to be.
std::optional<std::string> headerDamage(const std::string& bytes) {
    if (bytes.empty()) {
        return "the file is empty";
    }
    if (bytes.starts_with("BM")) {
        const auto sides = readBmpSides(bytes);
        if (!sides) {
            return sides.error().description;
        }
    }
    return std::nullopt;
}

// libpng refuses a longer side on its own (its default limit), and OpenCV
// then fails the decode without a reason.
constexpr std::int64_t maximumPngSide = 1'000'000;

// The limit the header's size passes, if any: decoding such an image would
// take more memory than the worker has, or fail inside OpenCV.
std::optional<std::string> limitPassed(const ImageHeader& header) {
    if (header.width * header.height > maximumImagePixels) {
        return "over the limit of " + std::to_string(maximumImagePixels / 1'000'000) + " megapixels";
    }
    for (const auto& [side, length] : {std::pair{"width", header.width}, std::pair{"height", header.height}}) {
        if (length > maximumImageSide) {
            return std::string("its ") + side + " over the limit of " + std::to_string(maximumImageSide) + " pixels";
        }
        if (header.format == ImageFormat::png && length > maximumPngSide) {
            return std::string("its ") + side + " over the limit of " + std::to_string(maximumPngSide) +
                   " pixels a side for PNG files";
        }
    }
    return std::nullopt;
}

std::string sizeText(const ImageHeader& header) {
    const auto megapixels = (header.width * header.height + 500'000) / 1'000'000;
    return std::to_string(header.width) + " x " + std::to_string(header.height) + " pixels (about " +
           std::to_string(megapixels) + " megapixels)";
}

}  // namespace

PlatformOutcome<cv::Mat> loadImage(const std::string& path, int smallestLongerSide) {
    auto bytes = readRegularFile(path);
    if (!bytes) {
        return bytes.error();
    }
    const auto header = readImageHeader(bytes.value());
    if (!header) {
        const auto damage = headerDamage(bytes.value());
        return damage ? notLoadable(path, *damage) : notLoadable(path);
    }
    if (const auto limit = limitPassed(*header)) {
        return visionServiceError(
            400, "Image at path " + path + " is too large to analyse: " + sizeText(*header) + ", " + *limit);
    }
    if (header->format == ImageFormat::bmp) {
        auto decoded = decodeCompressedBmp(path, bytes.value());
        if (!decoded || !decoded.value().empty()) {
            return decoded;
        }
    }
    cv::Mat rgb = header->format == ImageFormat::heic
                      ? decodeHeic(bytes.value())
                      : decodeWithOpenCV(bytes.value(), openCVDecodeFlags(*header, smallestLongerSide));
    if (rgb.empty()) {
        return notDecodable();
    }
    return rgb;
}

}  // namespace lumenary::platform::vision
