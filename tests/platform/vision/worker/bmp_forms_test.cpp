#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "platform/vision/worker/bmp_files.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

using vision_test::BmpCompression;
using vision_test::BmpForm;
using vision_test::BmpInfoHeader;

// `colours` distinct colours (or greys) on white, 37 x 11 so that no row
// fills whole words: runs of one colour and of differing ones, rows that
// end in white, a white row between others and white rows at the top, where
// a run-length file can leave pixels to deltas, ends of line and an early
// end of the bitmap.
cv::Mat formPicture(int colours, bool grey) {
    cv::Mat picture(11, 37, CV_8UC3, cv::Scalar::all(255));
    for (int row = 2; row < 11; ++row) {
        for (int column = 0; column < (row < 6 ? 31 : 37); ++column) {
            const int colour = row == 8 && column > 4 ? 1 : 1 + (row * 7 + column * 3) / 4 % (colours - 1);
            picture.at<cv::Vec3b>(row, column) = grey
                                                     ? cv::Vec3b::all(static_cast<std::uint8_t>(colour * 250 / colours))
                                                     : cv::Vec3b(static_cast<std::uint8_t>(colour * 97 % 256),
                                                                 static_cast<std::uint8_t>(colour * 41 % 200),
                                                                 static_cast<std::uint8_t>(255 - colour * 3));
        }
    }
    picture.row(5).setTo(cv::Scalar::all(255));
    return picture;
}

TEST(BmpForms, EveryFormWritersUseDecodesToItsPixels) {
    lumenary::testing::TemporaryDirectory folder;
    constexpr auto none = BmpCompression::none;
    constexpr auto runLength = BmpCompression::runLength;
    constexpr auto bitFields = BmpCompression::bitFields;
    constexpr auto core = BmpInfoHeader::core;
    constexpr auto windows = BmpInfoHeader::windows;
    constexpr auto version4 = BmpInfoHeader::version4;
    constexpr auto version5 = BmpInfoHeader::version5;
    using Masks = std::array<std::uint32_t, 4>;  // red, green, blue, alpha
    const Masks rgb565{0xF800, 0x7E0, 0x1F, 0}, argb4444{0xF00, 0xF0, 0xF, 0xF000};
    const Masks argb8888{0xFF0000, 0xFF00, 0xFF, 0xFF000000}, rgba8888{0xFF000000, 0xFF0000, 0xFF00, 0xFF};
    const Masks bgr888{0xFF, 0xFF00, 0xFF0000, 0};
    struct Case {
        std::string name;
        BmpForm form;
        bool grey = false;
        int tolerance = 0;  // 16-bit pixels keep 4 to 6 bits of a channel
    };
    const std::vector<Case> cases = {
        {"1-bit palette", {1}},
        {"4-bit grey palette", {4}, true},
        {"4-bit colour palette", {4}},
        {"8-bit grey palette", {8}, true},
        {"8-bit colour palette", {8}},
        {"8-bit palette, version 5 header", {8, none, version5}},
        {"1-bit palette, top-down", {1, none, windows, true}},
        {"4-bit palette, top-down", {4, none, windows, true}},
        {"8-bit palette, top-down", {8, none, windows, true}},
        {"1-bit palette, OS/2 header", {1, none, core}},
        {"4-bit palette, OS/2 header", {4, none, core}},
        {"8-bit palette, OS/2 header", {8, none, core}},
        {"RLE8 grey, laid out as ImageMagick writes it", vision_test::imageMagickGreyForm(), true},
        {"RLE8 grey with absolute runs", {8, runLength}, true},
        {"RLE8 colour with absolute runs", {8, runLength}},
        {"RLE8 with deltas, ends of line and an early end", {8, runLength, windows, false, {}, true, true}},
        {"RLE8 with only encoded runs", {8, runLength, windows, false, {}, false}},
        {"RLE4 colour with absolute runs", {4, runLength}},
        {"RLE4 grey, only encoded runs, padding encoded", {4, runLength, windows, false, {}, false, false, true}, true},
        {"RLE4 with deltas, ends of line and an early end", {4, runLength, windows, false, {}, true, true}},
        {"16-bit 5-5-5", {16}, false, 8},
        {"16-bit 5-6-5 bit fields", {16, bitFields, windows, false, rgb565}, false, 8},
        {"16-bit 5-6-5 bit fields, version 5 header", {16, bitFields, version5, false, rgb565}, false, 8},
        {"16-bit 4-4-4-4 bit fields with alpha", {16, bitFields, version5, false, argb4444}, false, 17},
        {"24-bit", {24}},
        {"24-bit, top-down", {24, none, windows, true}},
        {"24-bit, OS/2 header", {24, none, core}},
        {"32-bit", {32}},
        {"32-bit bit fields with alpha, version 5 header", {32, bitFields, version5, false, argb8888}},
        {"32-bit bit fields with alpha, version 4 header, top-down", {32, bitFields, version4, true, argb8888}},
        {"32-bit bit fields, red in the top byte", {32, bitFields, version5, false, rgba8888}},
        {"32-bit bit fields, blue in the low byte of three", {32, bitFields, windows, false, bgr888}},
    };
    int written = 0;
    for (const auto& [name, form, grey, tolerance] : cases) {
        SCOPED_TRACE(name);
        // As many colours as a palette holds.
        const cv::Mat picture = formPicture(form.bitsPerPixel == 1 ? 2 : form.bitsPerPixel == 4 ? 16 : 200, grey);
        const auto path = vision_test::writtenBytes(folder.path() / ("form-" + std::to_string(++written) + ".bmp"),
                                                    vision_test::bmpBytes(picture, form));
        const auto loaded = loadImage(path);
        ASSERT_TRUE(loaded) << loaded.error().description;
        ASSERT_EQ(loaded.value().size(), picture.size());
        EXPECT_LE(vision_test::largestDifference(loaded.value(), picture), tolerance);
    }
}

// A 5 x 3 RLE8 file whose palette is white, red, green and blue (its top
// row), with `data` for its pixels.
std::string runLengthFile(const std::string& data) {
    cv::Mat picture(3, 5, CV_8UC3, cv::Scalar::all(255));
    picture.at<cv::Vec3b>(0, 1) = {255, 0, 0};
    picture.at<cv::Vec3b>(0, 2) = {0, 255, 0};
    picture.at<cv::Vec3b>(0, 3) = {0, 0, 255};
    const auto file = vision_test::bmpBytes(picture, {8, BmpCompression::runLength});
    const auto pixelOffset = static_cast<std::size_t>(static_cast<unsigned char>(file[10]));
    return file.substr(0, pixelOffset) + data;
}

TEST(BmpForms, RunLengthDataIsDecodedWithinTheImageOrRefused) {
    lumenary::testing::TemporaryDirectory folder;
    using Bytes = std::string;
    // Rows top first, a letter a pixel: White, Red, Green, Blue.
    struct Case {
        std::string name;
        Bytes data;
        std::vector<std::string> rows;  // empty when refused
        std::string refusal;            // the reason, when refused
    };
    const std::vector<Case> cases = {
        {"runs past a row's end are clipped",
         Bytes("\x07\x01\0\0\x02\x02\0\0\0\x07\x03\x02\x01\x03\x01\x02\x02\0\0\x01", 20),
         {"BGRBR", "GGWWW", "RRRRR"},
         ""},
        {"a delta past the row's end and past the last row ends the image",
         Bytes("\x02\x01\0\x02\x09\0\x02\x02\0\x02\0\x09\x05\x03", 14),
         {"WWWWW", "WWWWW", "RRWWW"},
         ""},
        {"runs after the last row are dropped",
         Bytes("\0\0\0\0\0\0\x05\x01\0\x01", 10),
         {"WWWWW", "WWWWW", "WWWWW"},
         ""},
        {"data that ends with the last row's last pixel",
         Bytes("\x05\x01\0\0\x05\x02\0\0\x05\x03", 10),
         {"BBBBB", "GGGGG", "RRRRR"},
         ""},
        {"data that ends before the last row",
         Bytes("\x05\x01\0\0", 4),
         {},
         "its run-length data ends before its last row"},
        {"no data at all", Bytes(), {}, "its run-length data ends before its last row"},
        {"an absolute run cut short",
         Bytes("\0\x05\x01\x02", 4),
         {},
         "an absolute run in its run-length data is cut short"},
        {"a delta cut short", Bytes("\0\x02\x01", 3), {}, "a delta in its run-length data is cut short"},
        {"a colour past the palette", Bytes("\x02\x09\0\x01", 4), {}, "a pixel names colour 9 of a palette of 4"},
    };
    const std::map<char, cv::Vec3b> colours = {
        {'W', {255, 255, 255}}, {'R', {255, 0, 0}}, {'G', {0, 255, 0}}, {'B', {0, 0, 255}}};
    for (const auto& [name, data, expectedRows, refusal] : cases) {
        SCOPED_TRACE(name);
        const auto path = vision_test::writtenBytes(folder.path() / "runs.bmp", runLengthFile(data));
        const auto loaded = loadImage(path);
        if (!expectedRows.empty()) {
            ASSERT_TRUE(loaded) << loaded.error().description;
            ASSERT_EQ(loaded.value().size(), cv::Size(5, 3));
            for (int row = 0; row < 3; ++row) {
                for (int column = 0; column < 5; ++column) {
                    EXPECT_EQ(loaded.value().at<cv::Vec3b>(row, column),
                              colours.at(expectedRows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]))
                        << "at " << column << ", " << row;
                }
            }
            continue;
        }
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().code, 500);
        EXPECT_EQ(loaded.error().description, "Failed to convert NSImage to CGImage (" + refusal + ")");
    }
}

// `bytes` with the little-endian `value` over `size` bytes at `offset`.
std::string withField(std::string bytes, std::size_t offset, std::uint32_t value, int size) {
    for (int index = 0; index < size; ++index) {
        bytes[offset + static_cast<std::size_t>(index)] = static_cast<char>((value >> (8 * index)) & 0xFF);
    }
    return bytes;
}

TEST(BmpForms, FormsThatAreNotDecodedAreRefusedSayingWhy) {
    lumenary::testing::TemporaryDirectory folder;
    const cv::Mat picture = formPicture(16, false);
    const auto runLength8 = vision_test::bmpBytes(picture, {8, BmpCompression::runLength});
    const auto bitFields = vision_test::bmpBytes(picture, {32, BmpCompression::bitFields});
    struct Case {
        std::string name;
        std::string bytes;
        std::int64_t code;
        std::string reason;
    };
    // Offsets: 22 height, 28 bits a pixel, 30 compression, 54 the first mask.
    const std::vector<Case> cases = {
        {"JPEG inside", withField(runLength8, 30, 4, 4), 400, "a BMP holding a JPEG is not decoded"},
        {"PNG inside", withField(runLength8, 30, 5, 4), 400, "a BMP holding a PNG is not decoded"},
        {"an unknown compression", withField(runLength8, 30, 11, 4), 400, "a BMP with compression 11 is not decoded"},
        {"2 bits a pixel", withField(withField(runLength8, 30, 0, 4), 28, 2, 2), 400,
         "a BMP of 2 bits a pixel is not decoded"},
        {"RLE8 at 4 bits", withField(runLength8, 28, 4, 2), 400, "a BMP run-length encoded for 8 bits a pixel has 4"},
        {"run-length, top-down", withField(runLength8, 22, static_cast<std::uint32_t>(-11), 4), 400,
         "a top-down BMP cannot be run-length encoded"},
        {"bit fields at 24 bits", withField(bitFields, 28, 24, 2), 400,
         "a BMP with bit fields of 24 bits a pixel is not decoded"},
        {"a mask of no bits", withField(bitFields, 54, 0, 4), 400,
         "its bit fields are not runs of bits inside a pixel"},
        {"a mask that is no run of bits", withField(bitFields, 54, 0xF0F000, 4), 400,
         "its bit fields are not runs of bits inside a pixel"},
        {"a palette cut short", runLength8.substr(0, 70), 400, "its palette is cut short"},
        {"bit-field rows cut short", bitFields.substr(0, bitFields.size() - 3), 500,
         "its rows end before its last one does"},
    };
    for (const auto& [name, bytes, code, reason] : cases) {
        SCOPED_TRACE(name);
        const auto path = vision_test::writtenBytes(folder.path() / "form.bmp", bytes);
        const auto loaded = loadImage(path);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().code, code);
        EXPECT_EQ(loaded.error().description, (code == 400 ? "Failed to load image from path: " + path
                                                           : std::string("Failed to convert NSImage to CGImage")) +
                                                  " (" + reason + ")");
    }
}

TEST(BmpForms, DamagedFilesAreRefusedSayingWhy) {
    lumenary::testing::TemporaryDirectory folder;
    const auto path = (folder.path() / "damaged.bmp").string();
    const auto file = vision_test::bmpBytes(formPicture(16, false), {});
    const auto oneBit = vision_test::bmpBytes(formPicture(2, false), {1});
    const auto onePixel = vision_test::bmpBytes(cv::Mat(1, 1, CV_8UC3, cv::Scalar::all(7)), {});
    const auto notLoaded = [&path](const std::string& reason) {
        return "Failed to load image from path: " + path + " (" + reason + ")";
    };
    const auto notDecoded = [](const std::string& reason) {
        return "Failed to convert NSImage to CGImage (" + reason + ")";
    };
    const auto tooLarge = [&path](const std::string& size) {
        return "Image at path " + path + " is too large to analyse: " + size;
    };
    struct Case {
        std::string name;
        std::string bytes;
        std::int64_t code;
        std::string description;
    };
    // Offsets: 10 the pixels' offset, 18 width and 22 height.
    const std::vector<Case> cases = {
        {"24-bit, cut in half", file.substr(0, file.size() / 2), 500,
         notDecoded("its rows end before its last one does")},
        {"24-bit, short of its last padding byte", file.substr(0, file.size() - 1), 500,
         notDecoded("its rows end before its last one does")},
        {"1-bit, one byte short", oneBit.substr(0, oneBit.size() - 1), 500,
         notDecoded("its rows end before its last one does")},
        {"9000 x 9000 headers and no pixels", withField(withField(onePixel.substr(0, 54), 18, 9000, 4), 22, 9000, 4),
         500, notDecoded("its rows end before its last one does")},
        {"pixels past the end", withField(file, 10, static_cast<std::uint32_t>(file.size() + 1), 4), 400,
         notLoaded("its pixels do not start after its headers inside the file")},
        {"a negative width", withField(file, 18, static_cast<std::uint32_t>(-37), 4), 400,
         notLoaded("its width of -37 pixels is not positive")},
        {"a height of 0", withField(file, 22, 0, 4), 400, notLoaded("its height of 0 pixels is not positive")},
        {"20 bytes of headers", file.substr(0, 20), 400, notLoaded("its headers are cut short")},
        {"BM alone", "BM", 400, notLoaded("its headers are cut short")},
        {"an empty file", "", 400, notLoaded("the file is empty")},
        // Under the pixel limit, over OpenCV's own limit of a side.
        {"1 x 1048577, 70 bytes", withField(onePixel + std::string(12, '\0'), 22, 1'048'577, 4), 400,
         tooLarge("1 x 1048577 pixels (about 1 megapixels), its height over the limit of 1048576 pixels")},
        {"2000000 x 1", withField(onePixel, 18, 2'000'000, 4), 400,
         tooLarge("2000000 x 1 pixels (about 2 megapixels), its width over the limit of 1048576 pixels")},
    };
    for (const auto& [name, bytes, code, description] : cases) {
        SCOPED_TRACE(name);
        vision_test::writtenBytes(path, bytes);
        const auto loaded = loadImage(path);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().code, code);
        EXPECT_EQ(loaded.error().description, description);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
