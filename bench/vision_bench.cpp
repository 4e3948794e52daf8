// The vision worker's analyses on images this driver draws: 12-megapixel
// photos stand-ins, a dense A4 page at 300 dpi, QR codes and noise. Each
// analysis runs on one thread, in this process (decode and analysis as the
// worker runs them) and end to end through the worker program (the
// request, the decode, the analysis and the answer). Figures are medians.
//
// Usage: OMP_THREAD_LIMIT=1 vision_bench [runs] [networks | accuracy | text |
// text-times | text-photos | text-plain | text-compare | subjects |
// subjects-verbose | video]   (default 5 runs; "networks" measures the
// animal, body and hand pose networks alone, "accuracy" the hand pose and
// face precision and recall alone, "text" the exact reads of rendered
// lines, text recognition's times and the worker's memory with the Chinese
// model, "text-times" those times and memory alone, and then the times of
// both levels on a typeset manual's page at 150 dpi (the first PDF page
// bench/real_text's manifests name), "text-photos" the word recall and
// precision on the photos with text alone, "text-plain" text on plain
// ground (lines cut close, dialogs' values, framed signs, small Chinese
// lines) at both levels, "subjects" how often saliency and animals are
// right on a labelled set, "video" the video cases alone; the worker
// program is the one built beside it)
//
// vision_bench 1 text-compare [PREVIOUS-WORKER] [--previous-record FILE]
// [--record FILE] [--sets TEXT] reads every labelled text set (or only those
// whose names hold TEXT) (the signs, dialogs, lines cut close and Chinese
// lines of "text-plain", the photos of "text-photos", signs framed on
// photos, book page pieces, dialogs with controls, code lines in DejaVu
// Sans Mono and in other monospace faces, capitals cut to their ink, the
// real screenshots and pages that bench/real_text's manifests name, which
// bench/fetch_real_text brings first, and the pages of PDF manuals they
// name, drawn by poppler's pdftoppm at 100 and 150 dpi, some also
// photographed, and labelled with pdftotext's lines) through worker
// programs end to end: this build's accurate and fast levels, and the
// accurate level of PREVIOUS-WORKER (another build's lumenary-vision) or of
// a record an earlier run wrote with --record (bench/vision_text_record.tsv
// is main's). Besides its own measures, each set counts the read words its
// labels hold and the words read twice over, which fall when a reading adds
// words. A row is marked FELL where the accurate level now does worse than
// before or than the fast level; the accurate level's misreads follow,
// then the values of each real screen where the accurate level found fewer
// than the fast one. "--sets real" reads the real screens, pages and
// photos alone, "--sets typeset" the manuals' pages alone.
// A change to text recognition is measured so against the build before it,
// and the record renewed with it.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <ZXing/BarcodeFormat.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/vision/worker/animal_recognizer.hpp"
#include "platform/vision/worker/barcode_reader.hpp"
#include "platform/vision/worker/body_pose_detector.hpp"
#include "platform/vision/worker/dlib_example_photos.hpp"
#include "platform/vision/worker/dlib_face_backend.hpp"
#include "platform/vision/worker/face_analysis.hpp"
#include "platform/vision/worker/face_crop.hpp"
#include "platform/vision/worker/feature_print_hash.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/networks/packaged_photos.hpp"
#include "platform/vision/worker/saliency_map.hpp"
#include "platform/vision/worker/salient_objects.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"
#include "vision_accuracy_cases.hpp"
#include "vision_bench_measures.hpp"
#include "vision_hand_cases.hpp"
#include "vision_text_cases.hpp"
#include "typeset_page_times.hpp"
#include "vision_text_compare.hpp"
#include "vision_text_photo_cases.hpp"
#include "vision_text_plain_ground_cases.hpp"
#include "vision_subject_cases.hpp"
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

// A figure of the process's status file, such as "VmHWM:" (peak resident
// memory) or "VmRSS:" (resident now), in kilobytes.
long statusKilobytes(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
        }
    }
    return 0;
}

long peakResidentKilobytes(pid_t pid) {
    return statusKilobytes(pid, "VmHWM:");
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

// Copies of the identity photos (150 x 150) at `side`, in a grid on a grey
// canvas of `size`: a group photo with one face per copy.
cv::Mat groupPhoto(cv::Size size, int side, int count) {
    cv::Mat group(size, CV_8UC3, cv::Scalar::all(110));
    std::vector<std::filesystem::path> paths;
    for (const auto& [person, photos] : vision_test::identityPhotos()) {
        paths.insert(paths.end(), photos.begin(), photos.end());
    }
    const int columns = std::max(1, size.width / (side + side / 4));
    for (int index = 0; index < count; ++index) {
        cv::Mat face;
        cv::resize(vision_test::photo(paths[static_cast<std::size_t>(index) % paths.size()]), face, cv::Size(side, side));
        const cv::Point at((index % columns) * (side + side / 4) + side / 8, (index / columns) * (side + side / 4) + side / 8);
        face.copyTo(group(cv::Rect(at, face.size())));
    }
    return group;
}

std::size_t facesFound(const cv::Mat& image) {
    const auto faces = detectFaces(image);
    require(faces, "face detection");
    return faces.value().size();
}

// How well the face print tells the identity photos' five people apart.
void faceCalibration() {
    std::vector<std::pair<std::string, FaceFeaturePrint>> prints;
    std::vector<cv::Mat> photos;
    for (const auto& [person, paths] : vision_test::identityPhotos()) {
        for (const auto& path : paths) {
            photos.push_back(vision_test::photo(path));
            auto print = generateFaceFeature(photos.back());
            require(print, "face print");
            if (!print.value()) {
                std::fprintf(stderr, "vision_bench: no face in %s\n", path.c_str());
                std::exit(1);
            }
            prints.emplace_back(person, std::move(*print.value()));
        }
    }
    std::vector<double> same;
    std::vector<double> different;
    for (std::size_t first = 0; first < prints.size(); ++first) {
        for (std::size_t second = first + 1; second < prints.size(); ++second) {
            // 1 - cosine, before the scale.
            const double cosineDistance =
                *faceFeatureDistance(prints[first].second, prints[second].second) * faceFeatureDistanceScale;
            (prints[first].first == prints[second].first ? same : different).push_back(cosineDistance);
        }
    }
    std::sort(same.begin(), same.end());
    std::sort(different.begin(), different.end());
    double wins = 0;
    for (const double match : same) {
        for (const double mismatch : different) {
            wins += match < mismatch ? 1.0 : match == mismatch ? 0.5 : 0.0;
        }
    }
    const auto below = [](const std::vector<double>& values, double limit) {
        return static_cast<double>(std::count_if(values.begin(), values.end(), [&](double v) { return v <= limit; })) /
               static_cast<double>(values.size());
    };
    const double onePercent = different[different.size() / 100];
    double equalError = 1;
    for (const double limit : same) {
        equalError = std::min(equalError, std::max(1 - below(same, limit), below(different, limit)));
    }
    const double limitAtThreshold = 0.4 * faceFeatureDistanceScale;
    std::printf("%-52s %9.3f\n", "face print: cosine at 1 % false matches", 1 - onePercent);
    std::printf("%-52s %9.3f   (in use %.3f)\n", "face print: scale K for that at 0.6", onePercent / 0.4,
                faceFeatureDistanceScale);
    std::printf("%-52s %9.3f\n", "face print: ROC AUC", wins / static_cast<double>(same.size() * different.size()));
    std::printf("%-52s %9.1f %%\n", "face print: equal error rate", 100 * equalError);
    std::printf("%-52s %9.2f %%   (%zu pairs)\n", "face print: different people matching at 0.6",
                100 * below(different, limitAtThreshold), different.size());
    std::printf("%-52s %9.1f %%   (%zu pairs)\n", "face print: same person matching at 0.6",
                100 * below(same, limitAtThreshold), same.size());
    std::printf("%-52s %9.2f\n", "face print: median similarity, same person",
                1 - same[same.size() / 2] / faceFeatureDistanceScale);
    std::printf("%-52s %9.2f\n", "face print: median similarity, other people",
                1 - different[different.size() / 2] / faceFeatureDistanceScale);

    // Each photo shrunk to 120 px, re-encoded inside a 640 x 480 frame.
    std::vector<double> reframed;
    for (std::size_t index = 0; index < photos.size(); ++index) {
        cv::Mat frame(480, 640, CV_8UC3, cv::Scalar::all(120));
        cv::Mat shrunk;
        cv::resize(photos[index], shrunk, cv::Size(120, 120), 0, 0, cv::INTER_AREA);
        shrunk.copyTo(frame(cv::Rect(260, 180, 120, 120)));
        std::vector<uchar> bytes;
        cv::imencode(".jpg", frame, bytes, {cv::IMWRITE_JPEG_QUALITY, 85});
        const auto features = extractAllFaceFeatures(cv::imdecode(bytes, cv::IMREAD_COLOR));
        require(features, "faces of a frame");
        if (features.value().size() == 1) {
            reframed.push_back(1 - *faceFeatureDistance(features.value().front().print, prints[index].second));
        }
    }
    std::sort(reframed.begin(), reframed.end());
    std::printf("%-52s %9.2f   (%zu of %zu found)\n", "face print: median, same photo rescaled in a frame",
                reframed.empty() ? 0.0 : reframed[reframed.size() / 2], reframed.size(), photos.size());
}

void faceCases(int runs, const std::string& workerProgram, const std::filesystem::path& folder) {
    std::printf("\nfaces, in this process, one thread, %d runs each\n", runs);
    const auto warm = detectFaces(cv::Mat(64, 64, CV_8UC3, cv::Scalar::all(0)));
    require(warm, "loading the landmark model");
    const cv::Mat group12 = groupPhoto(twelveMegapixels, 300, 24);
    const cv::Mat group2 = groupPhoto(cv::Size(1600, 1200), 150, 24);
    cv::Mat frame(480, 640, CV_8UC3, cv::Scalar::all(120));
    groupPhoto(cv::Size(600, 200), 150, 3).copyTo(frame(cv::Rect(20, 140, 600, 200)));
    std::printf("(faces found: 12 MP %zu, 1.9 MP %zu, 640 x 480 %zu)\n", facesFound(group12), facesFound(group2),
                facesFound(frame));
    const double native = medianMilliseconds(runs, [&] { facesFound(group12); });
    report("face detection, native scale, per megapixel", native / 12.0, "<= 150 ms");
    report("face detection, 12 MP", native, "-");
    const double upsampled = medianMilliseconds(runs, [&] { facesFound(group2); });
    report("face detection, upsampled, per source megapixel", upsampled / 1.92, "<= 500 ms");
    const double all12 = medianMilliseconds(runs, [&] { require(extractAllFaceFeatures(group12), "faces"); });
    auto detected = dlibFaceBackend().detect(group12);
    require(detected, "faces with landmarks");
    report("feature print per face, from its crop and landmarks", medianMilliseconds(runs, [&] {
               for (const auto& face : detected.value()) {
                   const auto crop = faceCropRect(face.observation.boundingBox, group12.size()).value();
                   std::vector<cv::Point2f> landmarks;
                   for (const auto& point : face.landmarks) {
                       landmarks.push_back(point - cv::Point2f(crop.tl()));
                   }
                   require(dlibFaceBackend().print(group12(crop), landmarks), "face print");
               }
           }) / static_cast<double>(detected.value().size()),
           "<= 5 ms with the landmarks");
    report("extractAllFaceFeatures, 640 x 480 frame",
           medianMilliseconds(runs, [&] { require(extractAllFaceFeatures(frame), "faces"); }), "<= 250 ms");
    report("extractAllFaceFeatures, 12 MP group photo (24 faces)", all12, "<= 2500 ms");
    faceCalibration();

    std::printf("\nfolder face search, through the worker programs\n");
    std::vector<std::string> paths;
    for (const auto& [person, photos] : vision_test::identityPhotos()) {
        for (const auto& photo : photos) {
            if (paths.size() < 50) {
                paths.push_back(photo.string());
            }
        }
    }
    for (const std::size_t workers : {std::size_t{1}, defaultVisionWorkerCount()}) {
        VisionWorkerSettings settings{workerProgram, std::chrono::milliseconds(60'000), workers};
        const auto analyzer = makeWorkerVisionAnalyzer(settings);
        const auto search = [&] {
            analyzer->allFaceFeaturesOfEach(paths, [](std::size_t, PlatformOutcome<std::vector<FaceFeature>> faces) {
                require(faces, "faces of a photo");
            });
        };
        const double cold = medianMilliseconds(1, search);
        const double steady = medianMilliseconds(runs, search);
        std::printf("%-52s %9.1f images/s   (%zu worker%s; the first search %.1f)\n", "folder of 50 photos, 150 x 150",
                    1000.0 * static_cast<double>(paths.size()) / steady, workers, workers == 1 ? "" : "s",
                    1000.0 * static_cast<double>(paths.size()) / cold);
    }
    (void)folder;
}

void ask(WorkerProcess& worker, VisionWorkerRequest::Analysis analysis, const std::string& path) {
    VisionWorkerRequest request;
    request.analysis = analysis;
    request.imagePaths = {path};
    askWorker(worker, request);
}

// The animal and body pose networks on a packaged photo of a person with a
// dog, upscaled to 12 MP, and on a 640 x 480 video frame of it.
void networkCases(int runs, const std::string& workerProgram, const std::filesystem::path& folder) {
    std::printf("\nanimals and body poses (networks), in this process, one thread, %d runs each\n", runs);
    if (const auto missing = vision_test::missingNetworks()) {
        std::printf("skipped: %s\n", missing->c_str());
        return;
    }
    const auto packaged = vision_test::photoOf(vision_test::personWithDogAndHorse);
    if (!packaged) {
        std::printf("skipped: %s\n", vision_test::missingPhoto(vision_test::personWithDogAndHorse).c_str());
        return;
    }
    cv::Mat large;
    cv::resize(*packaged, large, twelveMegapixels, 0, 0, cv::INTER_CUBIC);
    cv::Mat frame;
    cv::resize(*packaged, frame, cv::Size(640, 480), 0, 0, cv::INTER_AREA);
    const auto largePath =
        vision_test::writtenBytes(folder / "person-12mp.jpg", vision_test::jpegBytes(large, 90));

    const auto counted = [](const auto& outcome, const char* what) {
        require(outcome, what);
        return outcome.value().size();
    };
    std::printf("(found in 12 MP: %zu animals, %zu people; in 640 x 480: %zu animals, %zu people)\n",
                counted(recognizeAnimals(large), "animals"), counted(detectBodyPoses(large), "body poses"),
                counted(recognizeAnimals(frame), "animals"), counted(detectBodyPoses(frame), "body poses"));
    report("animals, 12 MP (after decode)",
           medianMilliseconds(runs, [&] { require(recognizeAnimals(large), "animals"); }), "-");
    report("animals, 640 x 480 video frame",
           medianMilliseconds(runs, [&] { require(recognizeAnimals(frame), "animals"); }), "-");
    // A wide frame is also looked at in parts along its length.
    cv::Mat wideFrame;
    cv::resize(*packaged, wideFrame, cv::Size(640, 360), 0, 0, cv::INTER_AREA);
    report("animals, 640 x 360 video frame",
           medianMilliseconds(runs, [&] { require(recognizeAnimals(wideFrame), "animals"); }), "-");
    report("body pose, 12 MP (after decode)",
           medianMilliseconds(runs, [&] { require(detectBodyPoses(large), "body poses"); }), "-");
    report("body pose, 640 x 480 video frame",
           medianMilliseconds(runs, [&] { require(detectBodyPoses(frame), "body poses"); }), "-");

    std::printf("\nanimals and body poses, through the worker program, end to end\n");
    const auto analyzer = makeWorkerVisionAnalyzer({workerProgram, std::chrono::milliseconds(60'000)});
    const double firstAnimals =
        medianMilliseconds(1, [&] { require(analyzer->recognizeAnimals(largePath), "animals"); });
    const double firstPoses = medianMilliseconds(1, [&] { require(analyzer->detectBodyPose(largePath), "poses"); });
    report("animals, 12 MP JPEG, a fresh worker's first call", firstAnimals, "-");
    report("body pose, 12 MP JPEG, a fresh worker's first call", firstPoses, "-");
    report("animals, 12 MP JPEG",
           medianMilliseconds(runs, [&] { require(analyzer->recognizeAnimals(largePath), "animals"); }), "-");
    report("body pose, 12 MP JPEG",
           medianMilliseconds(runs, [&] { require(analyzer->detectBodyPose(largePath), "poses"); }), "-");

    auto worker = WorkerProcess::startOnOwnDescriptors(workerProgram, {}, {"OMP_THREAD_LIMIT=1"});
    require(worker, "starting the worker");
    converse(worker.value());
    const long started = statusKilobytes(worker.value().pid(), "VmRSS:");
    const auto framePath = vision_test::writtenImage(folder / "frame.png", frame);
    ask(worker.value(), VisionWorkerRequest::Analysis::animals, framePath);
    ask(worker.value(), VisionWorkerRequest::Analysis::bodyPose, framePath);
    const long loaded = statusKilobytes(worker.value().pid(), "VmRSS:");
    ask(worker.value(), VisionWorkerRequest::Analysis::animals, largePath);
    ask(worker.value(), VisionWorkerRequest::Analysis::bodyPose, largePath);
    std::printf("%-52s %9.1f MB\n", "worker resident memory, started", started / 1024.0);
    std::printf("%-52s %9.1f MB\n", "worker resident memory, both networks loaded", loaded / 1024.0);
    std::printf("%-52s %9.1f MB\n", "worker resident memory, after the 12 MP photo",
                statusKilobytes(worker.value().pid(), "VmRSS:") / 1024.0);
    std::printf("%-52s %9.1f MB\n", "worker peak resident memory", peakResidentKilobytes(worker.value().pid()) / 1024.0);
    worker.value().stop();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    cv::setNumThreads(1);
    const std::string workerProgram = testing::siblingProgram("lumenary-vision");
    testing::TemporaryDirectory folder;
    if (argc > 2 && std::string(argv[2]) == "networks") {
        networkCases(runs, workerProgram, folder.path());
        benchmarkHandPoseCases(runs, folder.path(), workerProgram);
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "accuracy") {
        benchmarkAccuracyCases(folder.path());
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "text") {
        benchmarkTextCases(runs, folder.path(), workerProgram);
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "text-times") {
        benchmarkTextTimes(runs, folder.path(), workerProgram);
        const auto bench = std::filesystem::path(LUMENARY_SOURCE_DIR) / "bench";
        benchmarkTypesetPageTimes(runs, folder.path(), bench / "real_text", bench / "fetch_real_text");
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "text-plain") {
        benchmarkTextPlainGround();
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "text-compare") {
        // The real material's manifests and fetch script are read from the
        // source tree this driver was built from.
        TextCompareSettings settings{workerProgram,
                                     {},
                                     {},
                                     {},
                                     {},
                                     std::filesystem::path(LUMENARY_SOURCE_DIR) / "bench" / "real_text",
                                     std::filesystem::path(LUMENARY_SOURCE_DIR) / "bench" / "fetch_real_text"};
        for (int index = 3; index < argc; ++index) {
            const std::string argument = argv[index];
            if ((argument == "--record" || argument == "--previous-record") && index + 1 < argc) {
                (argument == "--record" ? settings.record : settings.previousRecord) = argv[++index];
            } else if (argument == "--sets" && index + 1 < argc) {
                settings.onlySets = argv[++index];
            } else if (!argument.starts_with("--") && !settings.previousWorkerProgram) {
                settings.previousWorkerProgram = argument;
            } else {
                std::fprintf(stderr, "vision_bench: text-compare takes [PREVIOUS-WORKER] [--previous-record FILE] "
                                     "[--record FILE] [--sets TEXT], not \"%s\"\n", argument.c_str());
                return 2;
            }
        }
        if (settings.previousWorkerProgram && settings.previousRecord) {
            std::fprintf(stderr, "vision_bench: text-compare compares with a previous worker or a record, not both\n");
            return 2;
        }
        benchmarkTextCompare(folder.path(), settings);
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "text-photos") {
        benchmarkTextPhotos();
        return 0;
    }
    if (argc > 2 && std::string(argv[2]) == "video") {
        benchmarkVideoCases(runs, folder.path(), workerProgram);
        return 0;
    }
    if (argc > 2 && std::string(argv[2]).starts_with("subjects")) {
        benchmarkSubjectCases(folder.path(), workerProgram, std::string(argv[2]) == "subjects-verbose");
        return 0;
    }

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
    report("saliency (objectness), 12 MP (after decode)", medianMilliseconds(runs, [&] {
               require(salientObjects(photoImage, SaliencyKind::objectness), "saliency");
           }),
           "-");
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

    {
        // Saliency runs the object and face detectors: what they hold.
        auto fresh = WorkerProcess::startOnOwnDescriptors(workerProgram, {}, {"OMP_THREAD_LIMIT=1"});
        require(fresh, "starting the worker");
        ask(fresh.value(), VisionWorkerRequest::Analysis::saliency, photoPath);
        std::printf("%-52s %9.1f MB\n", "worker resident memory after a 12 MP saliency call",
                    statusKilobytes(fresh.value().pid(), "VmRSS:") / 1024.0);
        std::printf("%-52s %9.1f MB\n", "worker peak resident memory, saliency",
                    peakResidentKilobytes(fresh.value().pid()) / 1024.0);
        fresh.value().stop();
    }

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

    networkCases(runs, workerProgram, folder.path());
    faceCases(runs, workerProgram, folder.path());
    benchmarkVideoCases(runs, folder.path(), workerProgram);
    benchmarkHandPoseCases(runs, folder.path(), workerProgram);
    benchmarkAccuracyCases(folder.path());
    return 0;
}
