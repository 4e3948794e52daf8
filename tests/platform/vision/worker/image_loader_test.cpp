#include "platform/vision/worker/image_loader.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/image_files.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform::vision {
namespace {

const cv::Vec3b red(255, 0, 0);
const cv::Vec3b blue(0, 0, 255);

// Red on the left half, blue on the right.
cv::Mat redThenBlue(int width, int height) {
    cv::Mat image(height, width, CV_8UC3, cv::Scalar(red[0], red[1], red[2]));
    image.colRange(width / 2, width).setTo(cv::Scalar(blue[0], blue[1], blue[2]));
    return image;
}

std::string pngBytes(const cv::Mat& rgb) {
    std::vector<unsigned char> encoded;
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    cv::imencode(".png", bgr, encoded);
    return {encoded.begin(), encoded.end()};
}

void expectColourNear(const cv::Mat& image, cv::Point at, const cv::Vec3b& expected) {
    const auto actual = image.at<cv::Vec3b>(at);
    for (int channel = 0; channel < 3; ++channel) {
        EXPECT_NEAR(actual[channel], expected[channel], 40) << "channel " << channel << " at " << at;
    }
}

TEST(ImageLoader, DecodesEveryFormatAsEightBitRgb) {
    lumenary::testing::TemporaryDirectory folder;
    const cv::Mat image = redThenBlue(64, 48);
    const std::vector<std::string> paths = {
        vision_test::writtenImage(folder.path() / "image.png", image),
        vision_test::writtenImage(folder.path() / "image.jpg", image),
        vision_test::writtenImage(folder.path() / "image.bmp", image),
        vision_test::writtenImage(folder.path() / "image.tiff", image),
        vision_test::writtenImage(folder.path() / "image.webp", image),
        vision_test::writtenHeic(folder.path() / "image.heic", image),
        // The content decides, not the name.
        vision_test::writtenBytes(folder.path() / "named-wrongly.jpg", pngBytes(image)),
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        const auto loaded = loadImage(path);
        ASSERT_TRUE(loaded) << loaded.error().description;
        EXPECT_EQ(loaded.value().type(), CV_8UC3);
        EXPECT_EQ(loaded.value().size(), cv::Size(64, 48));
        expectColourNear(loaded.value(), {8, 24}, red);
        expectColourNear(loaded.value(), {56, 24}, blue);
    }
}

TEST(ImageLoader, TurnsAJpegUprightByItsExifOrientation) {
    lumenary::testing::TemporaryDirectory folder;
    const std::string jpeg = vision_test::jpegBytes(redThenBlue(40, 20));
    struct Case {
        int orientation;
        cv::Size size;
        cv::Vec3b topLeft;
    };
    const std::vector<Case> cases = {
        {1, {40, 20}, red},
        {3, {40, 20}, blue},  // turned half a turn
        {6, {20, 40}, red},   // turned a quarter clockwise: the left half goes to the top
        {8, {20, 40}, blue},  // turned a quarter counter-clockwise
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        const auto path = vision_test::writtenBytes(folder.path() / ("turned-" + std::to_string(c.orientation) + ".jpg"),
                                                    vision_test::withExifOrientation(jpeg, c.orientation));
        const auto loaded = loadImage(path);
        ASSERT_TRUE(loaded) << loaded.error().description;
        EXPECT_EQ(loaded.value().size(), c.size);
        expectColourNear(loaded.value(), {2, 2}, c.topLeft);
    }
}

TEST(ImageLoader, DecodesAJpegSmallerOnlyAsFarAsTheCallerAllows) {
    lumenary::testing::TemporaryDirectory folder;
    const auto jpeg = vision_test::writtenBytes(folder.path() / "wide.jpg", vision_test::jpegBytes(redThenBlue(2000, 1000)));
    const auto png = vision_test::writtenImage(folder.path() / "wide.png", redThenBlue(2000, 1000));
    struct Case {
        std::string path;
        int smallestLongerSide;
        cv::Size size;
    };
    const std::vector<Case> cases = {
        {jpeg, 0, {2000, 1000}},   {jpeg, 1001, {2000, 1000}}, {jpeg, 1000, {1000, 500}},
        {jpeg, 256, {500, 250}},   {jpeg, 250, {250, 125}},    {jpeg, 1, {250, 125}},
        {png, 256, {2000, 1000}},  // only a JPEG decoder can skip the detail
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.smallestLongerSide));
        const auto loaded = loadImage(c.path, c.smallestLongerSide);
        ASSERT_TRUE(loaded) << loaded.error().description;
        EXPECT_EQ(loaded.value().size(), c.size);
        expectColourNear(loaded.value(), {c.size.width / 4, c.size.height / 2}, red);
    }
}

TEST(ImageLoader, RefusesWhatItDoesNotDecodeWithTheLoadersErrors) {
    lumenary::testing::TemporaryDirectory folder;
    const auto fifo = (folder.path() / "a.png").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string png = pngBytes(redThenBlue(64, 48));
    const auto loop = (folder.path() / "loop.png").string();
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    // A bottom-up BMP header of 12000 x 9000 pixels and no pixels at all.
    std::string bmp = "BM";
    // Little-endian; bytes past the value's four are zero (a wider shift of
    // a 32-bit value is undefined).
    const auto field = [&bmp](std::uint32_t value, int bytes) {
        for (int index = 0; index < bytes; ++index) {
            bmp.push_back(static_cast<char>(index < 4 ? (value >> (8 * index)) & 0xFF : 0));
        }
    };
    field(54, 4), field(0, 4), field(54, 4), field(40, 4), field(12000, 4),
        field(static_cast<std::uint32_t>(-9000), 4), field(1, 2), field(24, 2), field(0, 24);
    struct Case {
        std::string path;
        std::int64_t code;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"/no/such.png", 404, "Image file not found at path: /no/such.png"},
        {loop, 404, "Image file not found at path: " + loop},
        {vision_test::writtenBytes(folder.path() / "bomb.bmp", bmp), 400,
         "Image at path " + (folder.path() / "bomb.bmp").string() +
             " is too large to analyse: 12000 x 9000 pixels (about 108 megapixels), over the limit of 100 "
             "megapixels"},
        {folder.path().string(), 400, "Failed to load image from path: " + folder.path().string()},
        {fifo, 400, "Failed to load image from path: " + fifo},
        {"/dev/zero", 400, "Failed to load image from path: /dev/zero"},
        {vision_test::writtenBytes(folder.path() / "notes.png", "just some text, not an image\n"), 400,
         "Failed to load image from path: " + (folder.path() / "notes.png").string()},
        {vision_test::writtenBytes(folder.path() / "still.gif", std::string("GIF89a\x01\0\x01\0\0\0\0;", 14)), 400,
         "Failed to load image from path: " + (folder.path() / "still.gif").string()},
        {vision_test::writtenAvif(folder.path() / "av1.avif", redThenBlue(64, 48)), 400,
         "Failed to load image from path: " + (folder.path() / "av1.avif").string()},
        {vision_test::writtenBytes(folder.path() / "bomb.png", vision_test::pngDeclaring(20000, 20000)), 400,
         "Image at path " + (folder.path() / "bomb.png").string() +
             " is too large to analyse: 20000 x 20000 pixels (about 400 megapixels), over the limit of 100 "
             "megapixels"},
        {vision_test::writtenBytes(folder.path() / "long.png", vision_test::pngDeclaring(2'000'000, 1)), 400,
         "Image at path " + (folder.path() / "long.png").string() +
             " is too large to analyse: 2000000 x 1 pixels (about 2 megapixels), its width over the limit of 1048576 "
             "pixels"},
        // libpng's own limit, below the one for every format; the bogus
        // pixel data would fail the decode with no reason.
        {vision_test::writtenBytes(folder.path() / "wide.png", vision_test::pngDeclaring(1'000'001, 1)), 400,
         "Image at path " + (folder.path() / "wide.png").string() +
             " is too large to analyse: 1000001 x 1 pixels (about 1 megapixels), its width over the limit of 1000000 "
             "pixels a side for PNG files"},
        {vision_test::writtenBytes(folder.path() / "widest.png", vision_test::pngDeclaring(1'048'576, 1)), 400,
         "Image at path " + (folder.path() / "widest.png").string() +
             " is too large to analyse: 1048576 x 1 pixels (about 1 megapixels), its width over the limit of 1000000 "
             "pixels a side for PNG files"},
        {vision_test::writtenBytes(folder.path() / "tall.png", vision_test::pngDeclaring(1, 1'000'001)), 400,
         "Image at path " + (folder.path() / "tall.png").string() +
             " is too large to analyse: 1 x 1000001 pixels (about 1 megapixels), its height over the limit of 1000000 "
             "pixels a side for PNG files"},
        {vision_test::writtenBytes(folder.path() / "cut.png", std::string(png.begin(), png.begin() + 60)), 500,
         "Failed to convert NSImage to CGImage"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto loaded = loadImage(c.path);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().domain, "VisionService");
        EXPECT_EQ(loaded.error().code, c.code);
        EXPECT_EQ(loaded.error().description, c.description);
    }
}

TEST(ImageLoader, LoadsImagesOfExtremeShapes) {
    lumenary::testing::TemporaryDirectory folder;
    // PNG's longest sides, which libpng still reads.
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(5000, 1), cv::Size(1, 5000), cv::Size(1'000'000, 1),
                                cv::Size(1, 1'000'000)}) {
        SCOPED_TRACE(size);
        const auto path = vision_test::writtenImage(folder.path() / "thin.png", cv::Mat(size, CV_8UC3, cv::Scalar(9, 8, 7)));
        const auto loaded = loadImage(path);
        ASSERT_TRUE(loaded) << loaded.error().description;
        EXPECT_EQ(loaded.value().size(), size);
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
