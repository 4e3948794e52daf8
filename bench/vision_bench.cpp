// The vision worker's analyses on images this driver draws: 12-megapixel
// photos stand-ins, a dense A4 page at 300 dpi, QR codes and noise. Each
// analysis runs on one thread, in this process (decode and analysis as the
// worker runs them) and end to end through the worker program (the
// request, the decode, the analysis and the answer). Figures are medians.
//
// Usage: OMP_THREAD_LIMIT=1 vision_bench [runs]   (default 5; the worker
// program is the one built beside it)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <ZXing/BarcodeFormat.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/vision/worker/barcode_reader.hpp"
#include "platform/vision/worker/feature_print_hash.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/saliency_map.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "platform/worker_process.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"
#include "vision_bench_measures.hpp"
#include "vision_video_cases.hpp"

using namespace lumenary;
using namespace lumenary::platform;
using namespace lumenary::platform::vision;
using namespace lumenary::vision_bench;

namespace {

const cv::Size twelveMegapixels(4000, 3000);
const cv::Size a4At300Dpi(2480, 3508);

// A photo's stand-in: shapes and gradients under sensor-like noise, so
// that the encoder and the decoder have a photo's work to do.
cv::Mat photo(cv::Size size, unsigned seed) {
    cv::Mat image = vision_test::photoLikeImage(size, seed);
    cv::Mat noise(size, CV_8UC3);
    cv::RNG(seed).fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(6));
    cv::Mat noisy;
    cv::add(image, noise, noisy, cv::noArray(), CV_8UC3);
    return noisy;
}

// A page of 11-point text inside margins of 2.5 cm, as a printed letter or
// report has it: 42 lines of about 75 characters.
cv::Mat densePage() {
    const std::vector<std::string> words = {"vision", "worker", "analysis", "request", "answer", "image",  "text",
                                            "line",   "page",   "dense",    "reading", "quick",  "brown", "fox",
                                            "jumps",  "over",   "lazy",     "dog",     "figure", "table"};
    std::vector<std::string> lines;
    cv::RNG random(3);
    for (int line = 0; line < 42; ++line) {
        std::string text;
        while (text.size() < 76) {
            text += words[static_cast<std::size_t>(random.uniform(0, static_cast<int>(words.size())))] + " ";
        }
        lines.push_back(text.substr(0, text.find_last_of(' ', 76)));
    }
    const cv::Mat text = vision_test::renderedText(lines, vision_test::dejaVuSans(), 46);
    const int margin = 295;
    const cv::Mat block = text(cv::Rect(0, 0, std::min(text.cols, a4At300Dpi.width - margin),
                                        std::min(text.rows, a4At300Dpi.height - margin)));
    return vision_test::placedOnCanvas(block, a4At300Dpi, {margin - 46, margin - 46});
}

cv::Mat loaded(const std::string& path) {
    auto image = loadImage(path);
    require(image, path.c_str());
    return image.value();
}

long peakResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

// A request the worker answers without loading anything: no image.
const std::string emptyRequest = [] {
    VisionWorkerRequest request;
    request.analysis = VisionWorkerRequest::Analysis::featurePrints;
    return visionFrame(encodeVisionRequest(request));
}();

void converse(WorkerProcess& worker) {
    using namespace std::chrono_literals;
    if (worker.write(emptyRequest, 10s)) {
        std::fprintf(stderr, "vision_bench: the worker took no request\n");
        std::exit(1);
    }
    const auto line = worker.readLine(maximumVisionFrameHeaderLength, 10s);
    require(line, "reading an answer's length");
    const auto length = visionFrameLength(line.value());
    require(worker.read(length.value_or(0), 10s), "reading an answer");
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    cv::setNumThreads(1);
    const std::string workerProgram = testing::siblingProgram("lumenary-vision");
    testing::TemporaryDirectory folder;

    std::printf("drawing the images...\n");
    const auto photoPath = vision_test::writtenBytes(folder.path() / "photo.jpg",
                                                     vision_test::jpegBytes(photo(twelveMegapixels, 1), 90));
    const auto otherPhotoPath = vision_test::writtenBytes(folder.path() / "other.jpg",
                                                          vision_test::jpegBytes(photo(twelveMegapixels, 2), 90));
    const auto pagePath = vision_test::writtenImage(folder.path() / "page.png", densePage());
    cv::Mat withCode = photo(twelveMegapixels, 4);
    const cv::Mat code = vision_test::drawnBarcode(ZXing::BarcodeFormat::QRCode, "https://example.org/bench", 12);
    code.copyTo(withCode(cv::Rect({1700, 1200}, code.size())));
    const auto codePath = vision_test::writtenBytes(folder.path() / "code.jpg", vision_test::jpegBytes(withCode, 90));
    cv::Mat noise(twelveMegapixels, CV_8UC3);
    cv::RNG(5).fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
    const auto noisePath = vision_test::writtenImage(folder.path() / "noise.png", noise);

    std::printf("\nin this process, one thread, %d runs each\n", runs);
    const cv::Mat photoImage = loaded(photoPath);
    const cv::Mat pageImage = loaded(pagePath);
    const cv::Mat codeImage = loaded(codePath);
    const cv::Mat noiseImage = loaded(noisePath);
    report("12 MP JPEG decode (to RGB)", medianMilliseconds(runs, [&] { loaded(photoPath); }), "-");
    report("OCR, dense A4 page at 300 dpi (8.7 MP)", medianMilliseconds(runs, [&] {
               const auto lines = recognizeTextLines(pageImage, {});
               require(lines, "OCR of the page");
               if (lines.value().size() != 42) {
                   std::fprintf(stderr, "vision_bench: the page gave %zu lines, not 42\n", lines.value().size());
                   std::exit(1);
               }
           }),
           "<= 2500 ms");
    report("OCR, 12 MP image without text", medianMilliseconds(runs, [&] {
               require(recognizeTextLines(photoImage, {}), "OCR of the photo");
           }),
           "<= 350 ms");
    report("barcodes, 12 MP photo with one QR code", medianMilliseconds(runs, [&] {
               const auto codes = readBarcodes(codeImage);
               require(codes, "barcodes");
               if (codes.value().size() != 1) {
                   std::fprintf(stderr, "vision_bench: the QR code was not found\n");
                   std::exit(1);
               }
           }),
           "<= 250 ms");
    report("barcodes, 12 MP photo without a code",
           medianMilliseconds(runs, [&] { require(readBarcodes(photoImage), "barcodes"); }), "-");
    report("barcodes, 12 MP noise", medianMilliseconds(runs, [&] { require(readBarcodes(noiseImage), "barcodes"); }),
           "<= 1000 ms");
    report("saliency map, 12 MP (after decode)", medianMilliseconds(runs, [&] { salientRegions(photoImage); }), "-");
    report("feature print, 12 MP (after decode)", medianMilliseconds(runs, [&] { featurePrintHash(photoImage); }),
           "-");

    std::printf("\nthrough the worker program, end to end\n");
    const auto analyzer = makeWorkerVisionAnalyzer({workerProgram, std::chrono::milliseconds(60'000)});
    require(analyzer->featurePrints({photoPath}), "warming the worker");
    report("compare two 12 MP JPEGs", medianMilliseconds(runs, [&] {
               require(analyzer->featurePrints({photoPath, otherPhotoPath}), "feature prints");
           }),
           "<= 300 ms");
    report("saliency, 12 MP JPEG", medianMilliseconds(runs, [&] {
               require(analyzer->analyzeSaliency(photoPath, SaliencyKind::objectness), "saliency");
           }),
           "<= 250 ms");

    using namespace std::chrono_literals;
    auto worker = WorkerProcess::startOnOwnDescriptors(workerProgram, {}, {"OMP_THREAD_LIMIT=1"});
    require(worker, "starting the worker");
    converse(worker.value());
    report("worker round trip, empty request", medianMilliseconds(runs * 40, [&] { converse(worker.value()); }),
           "<= 2 ms");
    worker.value().stop();

    long peak = 0;
    report("worker cold start to its first answer", medianMilliseconds(runs * 4, [&] {
               auto fresh = WorkerProcess::startOnOwnDescriptors(workerProgram, {}, {"OMP_THREAD_LIMIT=1"});
               require(fresh, "starting the worker");
               converse(fresh.value());
               peak = std::max(peak, peakResidentKilobytes(fresh.value().pid()));
               fresh.value().stop();
           }),
           "<= 300 ms");
    std::printf("%-52s %9.1f MB\n", "worker peak resident memory after start", peak / 1024.0);

    benchmarkVideoCases(runs, folder.path(), workerProgram);
    return 0;
}
