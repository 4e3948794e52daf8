#include "platform/vision/worker_vision_analyzer.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

#include "platform/running_executable_path.hpp"
#include "platform/vision/video_worker_protocol.hpp"
#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/worker_process.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform::vision {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* workerProgramName = "lumenary-vision";

// Tesseract's OpenMP threads would otherwise take every core for one line;
// the variable is read when the library loads, so the worker cannot set it.
const std::vector<std::string> workerEnvironment = {"OMP_THREAD_LIMIT=1"};

std::string exitDescription(const ProcessExit& exit) {
    if (exit.kind == ProcessExit::Kind::killedBySignal) {
        const char* name = ::sigabbrev_np(exit.signalNumber);
        return "it was killed by signal " + std::to_string(exit.signalNumber) +
               (name != nullptr ? std::string(" (SIG") + name + ")" : std::string());
    }
    return "it exited with status " + std::to_string(exit.exitStatus);
}

std::string secondsText(std::chrono::milliseconds duration) {
    const auto milliseconds = duration.count();
    if (milliseconds % 1000 == 0) {
        return std::to_string(milliseconds / 1000) + " s";
    }
    return std::to_string(milliseconds) + " ms";
}

// Runs each analysis in the worker, one request at a time. One rule: the
// mutex guards the worker, and a call holds it from its request to its
// answer. Any failure of the conversation ends the worker, so the next call
// meets a fresh one and never a stream out of step.
class WorkerVisionAnalyzer final : public VisionAnalyzer {
public:
    explicit WorkerVisionAnalyzer(VisionWorkerSettings settings) : settings_(std::move(settings)) {}

    PlatformOutcome<std::vector<TextObservation>> recognizeText(const std::string& imagePath,
                                                                const TextRecognitionOptions& options) override {
        auto request = requestFor(VisionWorkerRequest::Analysis::text, {imagePath});
        request.textOptions = options;
        return run<TextObservation>(request);
    }
    PlatformOutcome<std::vector<BarcodeObservation>> detectBarcodes(const std::string& imagePath) override {
        return run<BarcodeObservation>(requestFor(VisionWorkerRequest::Analysis::barcodes, {imagePath}));
    }
    PlatformOutcome<std::vector<SaliencyObservation>> analyzeSaliency(const std::string& imagePath,
                                                                      SaliencyKind kind) override {
        auto request = requestFor(VisionWorkerRequest::Analysis::saliency, {imagePath});
        request.saliencyKind = kind;
        return run<SaliencyObservation>(request);
    }
    PlatformOutcome<std::vector<FeaturePrint>> featurePrints(const std::vector<std::string>& imagePaths) override {
        return run<FeaturePrint>(requestFor(VisionWorkerRequest::Analysis::featurePrints, imagePaths));
    }

    // No model for these is packaged: they answer without the worker and
    // without touching the file.
    PlatformOutcome<std::vector<AnimalObservation>> recognizeAnimals(const std::string&) override {
        return visionServiceError(501, "Animal recognition is not available on this platform");
    }
    PlatformOutcome<std::vector<PoseObservation>> detectBodyPose(const std::string&) override {
        return visionServiceError(501, "Body pose detection is not available on this platform");
    }
    PlatformOutcome<std::vector<PoseObservation>> detectHandPose(const std::string&) override {
        return visionServiceError(501, "Hand pose detection is not available on this platform");
    }

    PlatformOutcome<std::vector<FaceObservation>> detectFaces(const std::string&) override {
        return visionServiceError(501, "Face detection is not available on this platform");
    }
    PlatformOutcome<std::optional<FaceFeaturePrint>> faceFeaturePrint(const std::string&) override {
        return visionServiceError(501, "Face search is not available on this platform");
    }
    PlatformOutcome<std::vector<FaceFeature>> allFaceFeatures(const std::string&) override {
        return visionServiceError(501, "Face search is not available on this platform");
    }
    PlatformOutcome<VideoInfo> videoInfo(const std::string& videoPath) override {
        return runVideo<VideoInfo>({VideoWorkerRequest::Kind::info, videoPath, {}}, decodeVideoInfoAnswer);
    }
    PlatformOutcome<VideoFrameBatch> videoFrames(const std::string& videoPath,
                                                 const VideoFrameRequest& request) override {
        return runVideo<VideoFrameBatch>({VideoWorkerRequest::Kind::frames, videoPath, request},
                                         decodeVideoFramesAnswer);
    }

private:
    static VisionWorkerRequest requestFor(VisionWorkerRequest::Analysis analysis, std::vector<std::string> paths) {
        VisionWorkerRequest request;
        request.analysis = analysis;
        request.imagePaths = std::move(paths);
        return request;
    }

    template <typename Observation>
    PlatformOutcome<std::vector<Observation>> run(const VisionWorkerRequest& request) {
        // The request travels as JSON, which holds UTF-8 only; a home folder
        // with other bytes can put such a path here through ~user.
        for (const auto& path : request.imagePaths) {
            if (!system::isValidUTF8(path)) {
                return visionServiceError(400, "Failed to load image from path: " + system::repairUTF8(path));
            }
        }
        return answered<std::vector<Observation>>(encodeVisionRequest(request), decodeVisionAnswer<Observation>);
    }

    template <typename Result, typename Decode>
    PlatformOutcome<Result> runVideo(const VideoWorkerRequest& request, Decode decode) {
        if (!system::isValidUTF8(request.videoPath)) {
            return visionServiceError(400, "Failed to load video from path: " + system::repairUTF8(request.videoPath));
        }
        return answered<Result>(encodeVideoWorkerRequest(request), decode);
    }

    // The worker's answer to `requestPayload`, decoded.
    template <typename Result, typename Decode>
    PlatformOutcome<Result> answered(const std::string& requestPayload, Decode decode) {
        std::lock_guard lock(mutex_);
        const auto until = Clock::now() + settings_.timeLimit;
        if (worker_ && worker_->exit()) {
            // It ended between two calls, which no call is to blame for.
            worker_.reset();
        }
        if (!worker_) {
            auto started = WorkerProcess::startOnOwnDescriptors(settings_.executable, {}, workerEnvironment);
            if (!started) {
                return visionServiceError(500, "The vision worker could not be started: " +
                                                   started.error().description);
            }
            worker_.emplace(std::move(started).value());
        }
        auto answer = converse(requestPayload, until);
        if (!answer) {
            return answer.error();
        }
        auto decoded = decode(answer.value());
        if (auto* unreadable = std::get_if<UnreadableVisionAnswer>(&decoded)) {
            // Nothing it says next is to be trusted either.
            endWorker();
            return visionServiceError(500, "The vision worker sent an answer that could not be read (" +
                                               unreadable->reason + "); the worker was stopped");
        }
        return std::get<0>(std::move(decoded));
    }

    // The answer payload to `requestPayload`; on any failure the worker is
    // ended and the error says what happened to it.
    PlatformOutcome<std::string> converse(const std::string& requestPayload, Clock::time_point until) {
        if (const auto failed = worker_->write(visionFrame(requestPayload), remaining(until))) {
            return conversationFailure(*failed);
        }
        auto lengthLine = worker_->readLine(maximumVisionFrameHeaderLength, remaining(until));
        if (!lengthLine) {
            return conversationFailure(lengthLine.error());
        }
        const auto length = visionFrameLength(lengthLine.value());
        if (!length) {
            endWorker();
            return visionServiceError(500, "The vision worker sent an answer that could not be read (a bad length "
                                           "line); the worker was stopped");
        }
        auto payload = worker_->read(*length, remaining(until));
        if (!payload) {
            return conversationFailure(payload.error());
        }
        return std::move(payload).value();
    }

    PlatformError conversationFailure(const PlatformError& failure) {
        if (failure.code == ETIMEDOUT) {
            endWorker();
            return visionServiceError(500, "The vision worker did not finish the analysis within " +
                                               secondsText(settings_.timeLimit) + " and was stopped");
        }
        if (failure.code == EMSGSIZE) {
            endWorker();
            return visionServiceError(500, "The vision worker sent an answer that could not be read (a length "
                                           "line that never ended); the worker was stopped");
        }
        // Its pipes closed: it ended, or is about to.
        const auto exit = worker_->waitForExit(std::chrono::milliseconds(1'000));
        std::string description = "The vision worker ended during the analysis";
        description += exit ? ": " + exitDescription(*exit) : " (it closed its pipes and was stopped)";
        endWorker();
        return visionServiceError(500, std::move(description));
    }

    // Kills it at once: whatever it was doing is of no use any more.
    void endWorker() {
        worker_->stop(std::chrono::milliseconds(0));
        worker_.reset();
    }

    static std::chrono::milliseconds remaining(Clock::time_point until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        return std::max(left, std::chrono::milliseconds(0));
    }

    const VisionWorkerSettings settings_;
    std::mutex mutex_;
    std::optional<WorkerProcess> worker_;
};

}  // namespace

std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer() {
    VisionWorkerSettings settings;
    const auto running = runningExecutablePath();
    if (const auto* path = std::get_if<std::string>(&running)) {
        settings.executable = (std::filesystem::path(*path).parent_path() / workerProgramName).string();
    } else {
        // The program was rebuilt while it runs; the worker beside it is
        // the rebuilt one, which speaks the same protocol.
        const auto& stale = std::get<StaleExecutablePath>(running);
        settings.executable =
            (std::filesystem::path(stale.reportedPath).parent_path() / workerProgramName).string();
    }
    return makeWorkerVisionAnalyzer(std::move(settings));
}

std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer(VisionWorkerSettings settings) {
    return std::make_shared<WorkerVisionAnalyzer>(std::move(settings));
}

}  // namespace lumenary::platform::vision
