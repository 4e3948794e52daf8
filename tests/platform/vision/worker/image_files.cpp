#include "platform/vision/worker/image_files.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <libheif/heif.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace lumenary::vision_test {

namespace {

std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void appendPngChunk(std::string& out, const std::string& type, const std::string& data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    out += type;
    out += data;
    appendBigEndian(out, crc32(type + data));
}

void check(heif_error error, const char* what) {
    if (error.code != heif_error_Ok) {
        throw std::runtime_error(std::string(what) + ": " + error.message);
    }
}

}  // namespace

std::string writtenImage(const std::filesystem::path& path, const cv::Mat& rgb) {
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    if (!cv::imwrite(path.string(), bgr)) {
        throw std::runtime_error("cannot write an image to " + path.string());
    }
    return path.string();
}

static std::string writtenHeif(const std::filesystem::path& path, const cv::Mat& rgb,
                               heif_compression_format format) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    try {
        check(heif_context_get_encoder_for_format(context, format, &encoder), "encoder");
        heif_encoder_set_lossy_quality(encoder, 90);
        check(heif_image_create(rgb.cols, rgb.rows, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image),
              "image");
        check(heif_image_add_plane(image, heif_channel_interleaved, rgb.cols, rgb.rows, 8), "plane");
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int row = 0; row < rgb.rows; ++row) {
            std::copy_n(rgb.ptr<uint8_t>(row), rgb.cols * 3, plane + static_cast<std::ptrdiff_t>(row) * stride);
        }
        check(heif_context_encode_image(context, image, encoder, nullptr, nullptr), "encode");
        check(heif_context_write_to_file(context, path.string().c_str()), "write");
    } catch (...) {
        heif_image_release(image);
        heif_encoder_release(encoder);
        heif_context_free(context);
        throw;
    }
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return path.string();
}

// libx265 keeps one allocation for the life of the process that encoded;
// encoding in a child keeps the test program's leak check meaningful.
static std::string writtenHeifInChild(const std::filesystem::path& path, const cv::Mat& rgb,
                                      heif_compression_format format) {
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("cannot fork to encode " + path.string());
    }
    if (child == 0) {
        try {
            writtenHeif(path, rgb, format);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("cannot encode " + path.string());
    }
    return path.string();
}

std::string writtenHeic(const std::filesystem::path& path, const cv::Mat& rgb) {
    return writtenHeifInChild(path, rgb, heif_compression_HEVC);
}

std::string writtenAvif(const std::filesystem::path& path, const cv::Mat& rgb) {
    return writtenHeifInChild(path, rgb, heif_compression_AV1);
}

std::string writtenBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path.string();
}

std::string pngDeclaring(unsigned width, unsigned height) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    appendPngChunk(png, "IHDR", header);
    // A deflate stream's start; the decoder never gets this far.
    appendPngChunk(png, "IDAT", std::string("\x78\x9c\x01\x00\x00\xff\xff", 7));
    appendPngChunk(png, "IEND", "");
    return png;
}

std::string withExifOrientation(const std::string& jpeg, int orientation) {
    // A little-endian TIFF structure with one IFD holding one entry.
    std::string tiff("II*\0\x08\0\0\0", 8);
    tiff += std::string("\x01\0", 2);                         // one entry
    tiff += std::string("\x12\x01\x03\0\x01\0\0\0", 8);       // Orientation, SHORT, count 1
    tiff += static_cast<char>(orientation);
    tiff += std::string("\0\0\0", 3);
    tiff += std::string("\0\0\0\0", 4);                       // no next IFD
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const auto length = static_cast<unsigned>(payload.size() + 2);
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    segment += payload;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

std::string jpegBytes(const cv::Mat& rgb, int quality) {
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    std::vector<unsigned char> encoded;
    cv::imencode(".jpg", bgr, encoded, {cv::IMWRITE_JPEG_QUALITY, quality});
    return {encoded.begin(), encoded.end()};
}

cv::Mat photoLikeImage(cv::Size size, unsigned seed) {
    cv::RNG random(seed);
    cv::Mat image(size, CV_8UC3);
    // A smooth background gradient, then shapes of many sizes and colours.
    const cv::Scalar from(random.uniform(0, 256), random.uniform(0, 256), random.uniform(0, 256));
    const cv::Scalar to(random.uniform(0, 256), random.uniform(0, 256), random.uniform(0, 256));
    for (int row = 0; row < size.height; ++row) {
        const double share = static_cast<double>(row) / size.height;
        image.row(row).setTo(from * (1 - share) + to * share);
    }
    for (int shape = 0; shape < 40; ++shape) {
        const cv::Scalar colour(random.uniform(0, 256), random.uniform(0, 256), random.uniform(0, 256));
        const cv::Point centre(random.uniform(0, size.width), random.uniform(0, size.height));
        const int radius = random.uniform(size.width / 40 + 1, size.width / 5 + 2);
        if (shape % 2 == 0) {
            cv::circle(image, centre, radius, colour, cv::FILLED, cv::LINE_AA);
        } else {
            cv::rectangle(image, centre, centre + cv::Point(radius, radius / 2), colour, cv::FILLED, cv::LINE_AA);
        }
    }
    cv::GaussianBlur(image, image, cv::Size(3, 3), 0);
    return image;
}

double largestDifference(const cv::Mat& first, const cv::Mat& second) {
    if (first.total() != second.total() || first.type() != second.type() || first.empty()) {
        return 1e9;
    }
    // Continuous copies, so that a view and a whole image, or a tensor and
    // the image it was made from, compare element by element.
    return cv::norm(first.clone().reshape(1, 1), second.clone().reshape(1, 1), cv::NORM_INF);
}

}  // namespace lumenary::vision_test
