#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <ZXing/BarcodeFormat.h>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/vision/worker/bmp_files.hpp"
#include "platform/vision/worker/dlib_example_photos.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/networks/vision_network_store.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/child_process.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

// The real worker program (lumenary-vision beside this test program) behind
// the analyzer the server uses.
namespace lumenary::platform::vision {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class VisionWorker : public ::testing::Test {
protected:
    std::string written(const std::string& name, const cv::Mat& rgb) {
        return vision_test::writtenImage(folder_.path() / name, rgb);
    }

    // A call the worker must answer, to show that it still does.
    void expectAQrCodeIsRead() {
        const auto barcodes = analyzer_->detectBarcodes(written("qr.png", vision_test::drawnBarcode(
                                                                              ZXing::BarcodeFormat::QRCode, "still here")));
        ASSERT_TRUE(barcodes) << barcodes.error().description;
        ASSERT_EQ(barcodes.value().size(), 1u);
        EXPECT_EQ(barcodes.value().front().payload, "still here");
    }

    lumenary::testing::TemporaryDirectory folder_;
    std::shared_ptr<VisionAnalyzer> analyzer_ = makeWorkerVisionAnalyzer();
};

TEST_F(VisionWorker, HostileInputEndsInAnErrorAndTheWorkerCarriesOn) {
    const auto fifo = (folder_.path() / "a.png").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto bomb = vision_test::writtenBytes(folder_.path() / "bomb.png", vision_test::pngDeclaring(20000, 20000));
    const auto text = vision_test::writtenBytes(folder_.path() / "text.png", "plain text\n");
    struct Case {
        std::string path;
        std::int64_t code;
        std::string descriptionStart;
    };
    const std::vector<Case> cases = {
        {fifo, 400, "Failed to load image from path: " + fifo},
        {bomb, 400, "Image at path " + bomb + " is too large to analyse: 20000 x 20000 pixels"},
        {text, 400, "Failed to load image from path: " + text},
        {"/no/such.png", 404, "Image file not found at path: /no/such.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto started = Clock::now();
        const auto failed = analyzer_->analyzeSaliency(c.path, SaliencyKind::attention);
        EXPECT_LT(Clock::now() - started, 10s);
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().code, c.code);
        EXPECT_TRUE(failed.error().description.starts_with(c.descriptionStart)) << failed.error().description;
        expectAQrCodeIsRead();
    }
}

TEST(VisionWorkerWithoutNetworks, FacePrintsFailSayingHowToGetTheNetworksAndTheWorkerCarriesOn) {
    lumenary::testing::TemporaryDirectory empty;
    lumenary::testing::ScopedEnvironment environment;
    environment.set(visionNetworksFolderVariable, empty.path().string());
    const auto analyzer = makeWorkerVisionAnalyzer();
    const std::string face = vision_test::identityPhotos().begin()->second.front().string();

    const auto target = analyzer->faceFeaturePrint(face);
    ASSERT_FALSE(target);
    EXPECT_EQ(target.error().code, 500);
    EXPECT_NE(target.error().description.find("run scripts/setup"), std::string::npos) << target.error().description;
    const auto every = analyzer->allFaceFeatures(face);
    ASSERT_FALSE(every);
    EXPECT_EQ(every.error().description, target.error().description);

    const auto faces = analyzer->detectFaces(face);
    ASSERT_TRUE(faces) << faces.error().description;
    EXPECT_EQ(faces.value().size(), 1U);
}

TEST_F(VisionWorker, AnUnsupportedLanguageTagIsRefused) {
    const auto image = written("words.png", vision_test::renderedText({"Hello"}, vision_test::dejaVuSans(), 40));
    const auto failed = analyzer_->recognizeText(image, {TextRecognitionLevel::fast, {"en-US", "../../etc/passwd"}});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, 400);
    EXPECT_EQ(failed.error().description, "Unsupported recognition language: ../../etc/passwd");
}

TEST_F(VisionWorker, EveryAnalysisAnswersOnImagesOfExtremeShapes) {
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(5000, 1)}) {
        SCOPED_TRACE(size);
        const auto path = written("thin.png", cv::Mat(size, CV_8UC3, cv::Scalar(200, 30, 30)));
        const auto text = analyzer_->recognizeText(path, {});
        EXPECT_TRUE(text) << text.error().description;
        const auto barcodes = analyzer_->detectBarcodes(path);
        EXPECT_TRUE(barcodes) << barcodes.error().description;
        const auto saliency = analyzer_->analyzeSaliency(path, SaliencyKind::objectness);
        EXPECT_TRUE(saliency) << saliency.error().description;
        const auto prints = analyzer_->featurePrints({path, path});
        EXPECT_TRUE(prints) << prints.error().description;
    }
}

TEST_F(VisionWorker, ALibraryAbortFailsThatCallAndTheNextCallSucceeds) {
    const auto abortingImage = written("twins.png", vision_test::twoIdenticalLinearBarcodes());
    const auto failed = analyzer_->detectBarcodes(abortingImage);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().domain, "VisionService");
    EXPECT_EQ(failed.error().code, 500);
    EXPECT_EQ(failed.error().description,
              "The vision worker ended during the analysis: it was killed by signal 6 (SIGABRT)");
    expectAQrCodeIsRead();
}

TEST_F(VisionWorker, ReadsTextLinesThroughTheWorker) {
    const cv::Mat text =
        vision_test::renderedText({"The quick brown fox", "jumps over the lazy dog"}, vision_test::dejaVuSans(), 40);
    const auto runLengthBmp = vision_test::bmpBytes(text, vision_test::imageMagickGreyForm());
    for (const auto& image :
         {written("lines.png", text), vision_test::writtenBytes(folder_.path() / "lines.bmp", runLengthBmp)}) {
        SCOPED_TRACE(image);
        const auto lines = analyzer_->recognizeText(image, {TextRecognitionLevel::accurate, {}});
        ASSERT_TRUE(lines) << lines.error().description;
        ASSERT_EQ(lines.value().size(), 2u);
        ASSERT_TRUE(lines.value()[0].topCandidate);
        EXPECT_EQ(lines.value()[0].topCandidate->text, "The quick brown fox");
        // Reading order, origin lower left: the first line stands higher.
        EXPECT_GT(lines.value()[0].boundingBox.y, lines.value()[1].boundingBox.y);
    }
}

TEST_F(VisionWorker, SaliencyGivesEveryObjectOrTheStrongestOne) {
    cv::Mat image(300, 400, CV_8UC3, cv::Scalar(128, 128, 128));
    cv::circle(image, {100, 100}, 50, cv::Scalar(230, 20, 20), cv::FILLED);
    cv::rectangle(image, cv::Rect(250, 150, 100, 100), cv::Scalar(60, 80, 190), cv::FILLED);
    const auto path = written("shapes.png", image);
    const auto flat = written("flat.png", cv::Mat(300, 400, CV_8UC3, cv::Scalar(128, 128, 128)));
    struct Case {
        std::string path;
        SaliencyKind kind;
        std::size_t regions;
    };
    const std::vector<Case> cases = {
        {path, SaliencyKind::objectness, 2},
        {path, SaliencyKind::attention, 1},
        {flat, SaliencyKind::objectness, 0},
        {flat, SaliencyKind::attention, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + (c.kind == SaliencyKind::objectness ? " objectness" : " attention"));
        const auto observations = analyzer_->analyzeSaliency(c.path, c.kind);
        ASSERT_TRUE(observations) << observations.error().description;
        std::size_t regions = 0;
        for (const auto& observation : observations.value()) {
            regions += observation.salientObjects ? observation.salientObjects->size() : 0;
        }
        EXPECT_EQ(regions, c.regions);
    }
}

TEST_F(VisionWorker, FeaturePrintsComeInOrderAndTheFirstUnloadablePathIsNamed) {
    const auto first = written("first.png", vision_test::photoLikeImage({320, 240}, 1));
    const auto second = written("second.png", vision_test::photoLikeImage({320, 240}, 2));
    const auto prints = analyzer_->featurePrints({first, second, first});
    ASSERT_TRUE(prints) << prints.error().description;
    ASSERT_EQ(prints.value().size(), 3u);
    EXPECT_EQ(prints.value()[0], prints.value()[2]);
    EXPECT_GE(featurePrintDistance(prints.value()[0], prints.value()[1]), 15.0f);

    const auto failed = analyzer_->featurePrints({first, "/no/first.png", "/no/second.png"});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().description, "Image file not found at path: /no/first.png");
}

// The line of /proc/<pid>/limits for the address space.
std::string addressSpaceLimit(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    std::string line;
    while (std::getline(limits, line)) {
        if (line.starts_with("Max address space")) {
            return line;
        }
    }
    return "";
}

TEST(VisionWorkerProgram, LimitsItsOwnAddressSpaceOutsideTheSanitizerBuild) {
    auto started = WorkerProcess::startOnOwnDescriptors(lumenary::testing::siblingProgram("lumenary-vision"), {}, {});
    ASSERT_TRUE(started) << started.error().description;
    auto& worker = started.value();
    // An answer shows that the worker is past its start, where it sets
    // the limit.
    VisionWorkerRequest request;
    request.analysis = VisionWorkerRequest::Analysis::featurePrints;
    ASSERT_FALSE(worker.write(visionFrame(encodeVisionRequest(request)), 10s));
    ASSERT_TRUE(worker.readLine(maximumVisionFrameHeaderLength, 10s));
    const std::string limit = addressSpaceLimit(worker.pid());
    ASSERT_FALSE(limit.empty());
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_NE(limit.find("unlimited"), std::string::npos) << limit;
#else
    EXPECT_NE(limit.find(std::to_string(std::uint64_t{6} << 30)), std::string::npos) << limit;
#endif
}

}  // namespace
}  // namespace lumenary::platform::vision
