#include "platform/vision/worker/barcode_reader.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <ZXing/BarcodeFormat.h>
#include <gtest/gtest.h>

#include "platform/vision/worker/test_images.hpp"

namespace lumenary::platform::vision {
namespace {

using ZXing::BarcodeFormat;

struct DrawnCodeCase {
    BarcodeFormat format;
    std::string contents;
    std::string symbology;
    std::string payload;
};

TEST(BarcodeReaderTest, ReadsEveryDrawnFormatWithItsNameAndText) {
    const std::vector<DrawnCodeCase> cases{
        {BarcodeFormat::QRCode, "https://example.org/lumenary?q=1", "QRCode", "https://example.org/lumenary?q=1"},
        {BarcodeFormat::QRCode, "Grüße, 你好", "QRCode", "Grüße, 你好"},
        {BarcodeFormat::DataMatrix, "DataMatrix payload", "DataMatrix", "DataMatrix payload"},
        {BarcodeFormat::PDF417, "PDF417 payload", "PDF417", "PDF417 payload"},
        {BarcodeFormat::Aztec, "Aztec payload", "Aztec", "Aztec payload"},
        {BarcodeFormat::EAN13, "5901234123457", "EAN-13", "5901234123457"},
        {BarcodeFormat::EAN8, "96385074", "EAN-8", "96385074"},
        {BarcodeFormat::UPCA, "036000291452", "UPC-A", "036000291452"},
        {BarcodeFormat::UPCE, "01234565", "UPC-E", "01234565"},
        {BarcodeFormat::Code128, "Lumenary 128", "Code128", "Lumenary 128"},
        {BarcodeFormat::Code39, "LUMENARY-39", "Code39", "LUMENARY-39"},
        {BarcodeFormat::ITF, "15400141288763", "ITF", "15400141288763"},
        // Codabar's start and stop characters are framing, not payload.
        {BarcodeFormat::Codabar, "A40156B", "Codabar", "40156"},
    };
    for (const DrawnCodeCase& testCase : cases) {
        SCOPED_TRACE(testCase.symbology + " " + testCase.contents);
        const auto barcodes = readBarcodes(vision_test::drawnBarcode(testCase.format, testCase.contents));
        ASSERT_TRUE(barcodes) << barcodes.error().description;
        ASSERT_EQ(barcodes.value().size(), 1U);
        EXPECT_EQ(barcodes.value()[0].symbology, testCase.symbology);
        EXPECT_EQ(barcodes.value()[0].payload, testCase.payload);
    }
}

struct TurnedCodeCase {
    BarcodeFormat format;
    std::string contents;
    double degrees = 0;
};

TEST(BarcodeReaderTest, ReadsTurnedCodes) {
    const std::vector<TurnedCodeCase> cases{
        {BarcodeFormat::QRCode, "turned a quarter", 90},
        {BarcodeFormat::QRCode, "turned thirty degrees", 30},
        {BarcodeFormat::EAN13, "5901234123457", 20},
        {BarcodeFormat::Code128, "standing upright", 90},
    };
    for (const TurnedCodeCase& testCase : cases) {
        SCOPED_TRACE(testCase.contents + " at " + std::to_string(testCase.degrees));
        const cv::Mat image =
            vision_test::turned(vision_test::drawnBarcode(testCase.format, testCase.contents), testCase.degrees);
        const auto barcodes = readBarcodes(image);
        ASSERT_TRUE(barcodes) << barcodes.error().description;
        ASSERT_EQ(barcodes.value().size(), 1U);
        EXPECT_EQ(barcodes.value()[0].payload, testCase.contents);
    }
}

void expectNear(const NormalizedRect& actual, const NormalizedRect& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.width, expected.width, tolerance);
    EXPECT_NEAR(actual.height, expected.height, tolerance);
}

TEST(BarcodeReaderTest, BoxEnclosesTheCodeWithTheOriginLowerLeft) {
    // Near the top of the canvas, so that a box measured from the top would
    // land far from the code; turned, so that no two corners give the box.
    const std::vector<double> turns{0, 30};
    for (const double degrees : turns) {
        SCOPED_TRACE(degrees);
        const cv::Mat code =
            vision_test::turned(vision_test::drawnBarcode(BarcodeFormat::QRCode, "where am I", 4), degrees);
        const cv::Mat image = vision_test::placedOnCanvas(code, {code.cols + 150, code.rows * 3}, {30, 0});
        const auto barcodes = readBarcodes(image);
        ASSERT_TRUE(barcodes) << barcodes.error().description;
        ASSERT_EQ(barcodes.value().size(), 1U);
        expectNear(barcodes.value()[0].boundingBox, vision_test::inkedRegion(image), 0.01);
    }
}

TEST(BarcodeReaderTest, BinaryContentHasNoPayload) {
    const auto barcodes = readBarcodes(vision_test::drawnBinaryQrCode(std::string("\x00\x01\xfe\xff\x80\x10", 6)));
    ASSERT_TRUE(barcodes) << barcodes.error().description;
    ASSERT_EQ(barcodes.value().size(), 1U);
    EXPECT_EQ(barcodes.value()[0].symbology, "QRCode");
    EXPECT_EQ(barcodes.value()[0].payload, std::nullopt);
}

TEST(BarcodeReaderTest, ReadsTwoDifferentLinearCodesOnTheSameRows) {
    cv::Mat pair;
    cv::hconcat(vision_test::drawnBarcode(BarcodeFormat::Code128, "left code", 2),
                vision_test::drawnBarcode(BarcodeFormat::Code128, "right code", 2), pair);
    const auto barcodes = readBarcodes(pair);
    ASSERT_TRUE(barcodes) << barcodes.error().description;
    std::vector<std::string> payloads;
    for (const BarcodeObservation& barcode : barcodes.value()) {
        payloads.push_back(barcode.payload.value_or("<binary>"));
    }
    std::sort(payloads.begin(), payloads.end());
    EXPECT_EQ(payloads, (std::vector<std::string>{"left code", "right code"}));
}

TEST(BarcodeReaderTest, ImagesWithoutCodesGiveNone) {
    const cv::Scalar white(255, 255, 255);
    cv::Mat noise(240, 320, CV_8UC3);
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(256));
    const std::vector<std::pair<std::string, cv::Mat>> cases{
        {"blank", cv::Mat(240, 320, CV_8UC3, white)},
        {"noise", noise},
        {"one pixel", cv::Mat(1, 1, CV_8UC3, white)},
        {"one row", cv::Mat(1, 5000, CV_8UC3, cv::Scalar(0, 0, 0))},
        {"text", vision_test::renderedText({"No code here"}, vision_test::dejaVuSans(), 32)},
    };
    for (const auto& [name, image] : cases) {
        SCOPED_TRACE(name);
        const auto barcodes = readBarcodes(image);
        ASSERT_TRUE(barcodes) << barcodes.error().description;
        EXPECT_TRUE(barcodes.value().empty());
    }
}

}  // namespace
}  // namespace lumenary::platform::vision
