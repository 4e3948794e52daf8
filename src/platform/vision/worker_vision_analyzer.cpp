#include "platform/vision/worker_vision_analyzer.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "platform/process/worker_process.hpp"
#include "platform/vision/idle_worker_reaper.hpp"
#include "platform/program/sibling_program.hpp"
#include "platform/vision/video_worker_protocol.hpp"
#include "platform/vision/vision_frame_reader.hpp"
#include "platform/vision/vision_worker_protocol.hpp"
#include "platform/vision/worker_slot.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform::vision {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* workerProgramName = "lumenary-vision";

// At most this many analysed frames go to a worker in one conversation.
constexpr std::size_t mostAnalysedFramesPerConversation = 5;

// Tesseract's OpenMP threads would otherwise take every core for one line;
// the variable is read when the library loads, so the worker cannot set it.
const std::vector<std::string> workerEnvironment = {"OMP_THREAD_LIMIT=1"};

// Runs each analysis in a worker, one request per worker at a time. Any
// failure of the conversation ends that worker, so the next call meets a
// fresh one and never a stream out of step.
class WorkerVisionAnalyzer final : public VisionAnalyzer {
public:
    explicit WorkerVisionAnalyzer(VisionWorkerSettings settings) : settings_(std::move(settings)) {
        for (std::size_t index = 0; index < std::max<std::size_t>(settings_.workerCount, 1); ++index) {
            slots_.push_back(std::make_unique<WorkerSlot>());
        }
        std::vector<WorkerSlot*> watched;
        for (const auto& slot : slots_) {
            watched.push_back(slot.get());
        }
        idleReaper_.emplace(std::move(watched), settings_.idleLimits);
    }

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

    PlatformOutcome<std::vector<AnimalObservation>> recognizeAnimals(const std::string& imagePath) override {
        return run<AnimalObservation>(requestFor(VisionWorkerRequest::Analysis::animals, {imagePath}));
    }
    PlatformOutcome<std::vector<PoseObservation>> detectBodyPose(const std::string& imagePath) override {
        return run<PoseObservation>(requestFor(VisionWorkerRequest::Analysis::bodyPose, {imagePath}));
    }
    PlatformOutcome<std::vector<PoseObservation>> detectHandPose(const std::string& imagePath) override {
        return run<PoseObservation>(requestFor(VisionWorkerRequest::Analysis::handPose, {imagePath}));
    }

    PlatformOutcome<std::vector<FaceObservation>> detectFaces(const std::string& imagePath) override {
        return run<FaceObservation>(requestFor(VisionWorkerRequest::Analysis::faces, {imagePath}));
    }
    PlatformOutcome<std::optional<FaceFeaturePrint>> faceFeaturePrint(const std::string& imagePath) override {
        auto prints = run<FaceFeaturePrint>(requestFor(VisionWorkerRequest::Analysis::faceFeaturePrint, {imagePath}));
        if (!prints) {
            return prints.error();
        }
        if (prints.value().size() > 1) {
            return visionServiceError(500, "The vision worker sent an answer that could not be read (more than one "
                                           "print of the first face)");
        }
        if (prints.value().empty()) {
            return std::optional<FaceFeaturePrint>();
        }
        return std::optional<FaceFeaturePrint>(std::move(prints.value().front()));
    }
    PlatformOutcome<std::vector<FaceFeature>> allFaceFeatures(const std::string& imagePath) override {
        return run<FaceFeature>(requestFor(VisionWorkerRequest::Analysis::faceFeatures, {imagePath}));
    }
    void allFaceFeaturesOfEach(const std::vector<std::string>& imagePaths, const FaceFeaturesOfImage& onEach) override {
        const std::size_t workers = std::min(slots_.size(), imagePaths.size());
        std::atomic<std::size_t> next{0};
        std::mutex handing;
        const auto analyseTheRest = [&](WorkerSlot& slot) {
            for (auto index = next++; index < imagePaths.size(); index = next++) {
                auto faces = run<FaceFeature>(requestFor(VisionWorkerRequest::Analysis::faceFeatures,
                                                         {imagePaths[index]}), slot);
                std::lock_guard lock(handing);
                onEach(index, std::move(faces));
            }
        };
        {
            std::vector<std::jthread> helpers;
            for (std::size_t index = 1; index < workers; ++index) {
                try {
                    helpers.emplace_back(analyseTheRest, std::ref(*slots_[index]));
                } catch (const std::system_error&) {
                    // Fewer threads only make it slower.
                    break;
                }
            }
            analyseTheRest(*slots_.front());
        }
    }
    PlatformOutcome<VideoInfo> videoInfo(const std::string& videoPath) override {
        return runVideo<VideoInfo>({VideoWorkerRequest::Kind::info, videoPath, {}}, decodeVideoInfoAnswer);
    }
    // A few analysed frames per conversation, each under its own time
    // limit: twenty full-size frames with every analysis could take longer
    // than one limit, though each frame takes a fraction of it. Analysed
    // frames are shared out to the workers, each opening the video itself:
    // the analyses cost far more than opening and seeking.
    PlatformOutcome<VideoFrameBatch> videoFrames(const std::string& videoPath,
                                                 const VideoFrameRequest& request) override {
        if (request.times.empty()) {
            return VideoFrameBatch{};
        }
        if (!request.anyAnalysis()) {
            return runVideo<VideoFrameBatch>({VideoWorkerRequest::Kind::frames, videoPath, request},
                                             decodeVideoFramesAnswer);
        }
        const std::size_t perConversation = analysedFramesPerConversation(request.times.size());
        const std::size_t conversations = (request.times.size() + perConversation - 1) / perConversation;
        std::vector<std::optional<PlatformOutcome<VideoFrameBatch>>> outcomes(conversations);
        std::atomic<std::size_t> next{0};
        // The first conversation that failed or met the end of the stream:
        // nothing after it is reported, so it need not be asked for.
        std::atomic<std::size_t> lastNeeded{conversations};
        const auto takeTheRest = [&](WorkerSlot& slot) {
            for (auto index = next++; index < conversations && index <= lastNeeded; index = next++) {
                VideoFrameRequest part = request;
                const auto first = index * perConversation;
                const auto end = std::min(request.times.size(), first + perConversation);
                part.times.assign(request.times.begin() + static_cast<std::ptrdiff_t>(first),
                                  request.times.begin() + static_cast<std::ptrdiff_t>(end));
                auto frames = runVideo<VideoFrameBatch>(
                    {VideoWorkerRequest::Kind::frames, videoPath, std::move(part)}, decodeVideoFramesAnswer, slot);
                if (!frames || frames.value().endOfStream) {
                    auto needed = lastNeeded.load();
                    while (index < needed && !lastNeeded.compare_exchange_weak(needed, index)) {
                    }
                }
                outcomes[index].emplace(std::move(frames));
            }
        };
        {
            std::vector<std::jthread> helpers;
            for (std::size_t index = 1; index < std::min(slots_.size(), conversations); ++index) {
                try {
                    helpers.emplace_back(takeTheRest, std::ref(*slots_[index]));
                } catch (const std::system_error&) {
                    // Fewer threads only make it slower.
                    break;
                }
            }
            takeTheRest(*slots_.front());
        }
        VideoFrameBatch batch;
        for (auto& outcome : outcomes) {
            auto& frames = outcome.value();
            if (!frames) {
                return frames.error();
            }
            for (auto& frame : frames.value().frames) {
                batch.frames.push_back(std::move(frame));
            }
            if (frames.value().endOfStream) {
                batch.endOfStream = true;
                break;
            }
        }
        return batch;
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
        return run<Observation>(request, *slots_.front());
    }

    template <typename Observation>
    PlatformOutcome<std::vector<Observation>> run(const VisionWorkerRequest& request, WorkerSlot& slot) {
        // The request travels as JSON, which holds UTF-8 only; a home folder
        // with other bytes can put such a path here through ~user.
        for (const auto& path : request.imagePaths) {
            if (!system::isValidUTF8(path)) {
                return visionServiceError(400, "Failed to load image from path: " + system::repairUTF8(path));
            }
        }
        return answered<std::vector<Observation>>(encodeVisionRequest(request), decodeVisionAnswer<Observation>, slot);
    }

    // As few rounds as keep each conversation within the most, and each
    // round's frames split evenly over the workers, so that no worker is
    // left with a long tail: twenty frames on four workers make four
    // conversations of five, ten make four of three (not two of five).
    std::size_t analysedFramesPerConversation(std::size_t frames) const {
        const std::size_t workers = slots_.size();
        const std::size_t rounds = (frames + workers * mostAnalysedFramesPerConversation - 1) /
                                   (workers * mostAnalysedFramesPerConversation);
        const std::size_t conversations = workers * rounds;
        return (frames + conversations - 1) / conversations;
    }

    template <typename Result, typename Decode>
    PlatformOutcome<Result> runVideo(const VideoWorkerRequest& request, Decode decode) {
        return runVideo<Result>(request, decode, *slots_.front());
    }

    template <typename Result, typename Decode>
    PlatformOutcome<Result> runVideo(const VideoWorkerRequest& request, Decode decode, WorkerSlot& slot) {
        if (!system::isValidUTF8(request.videoPath)) {
            return visionServiceError(400, "Failed to load video from path: " + system::repairUTF8(request.videoPath));
        }
        return answered<Result>(encodeVideoWorkerRequest(request), decode, slot);
    }

    // The answer of `slot`'s worker to `requestPayload`, decoded.
    template <typename Result, typename Decode>
    PlatformOutcome<Result> answered(const std::string& requestPayload, Decode decode, WorkerSlot& slot) {
        // Told once the slot is let go (the lock below goes first), when its
        // worker is idle again.
        const IdleWatchResumer resumer{*idleReaper_};
        std::lock_guard lock(slot.mutex);
        // Idle from the moment the call lets go, whatever it ends with.
        const UseStamp stamp{slot};
        auto& worker = slot.worker;
        const auto until = Clock::now() + settings_.timeLimit;
        if (worker && worker->exit()) {
            // It ended between two calls, which no call is to blame for.
            worker.reset();
        }
        if (!worker) {
            auto started = WorkerProcess::startOnOwnDescriptors(settings_.executable, {}, workerEnvironment);
            if (!started) {
                return visionServiceError(500, "The vision worker could not be started: " +
                                                   started.error().description);
            }
            worker.emplace(std::move(started).value());
        }
        auto answer = converse(worker, requestPayload, until);
        if (!answer) {
            return answer.error();
        }
        auto decoded = decode(answer.value());
        if (auto* unreadable = std::get_if<UnreadableVisionAnswer>(&decoded)) {
            // Nothing it says next is to be trusted either.
            endWorker(worker);
            return visionServiceError(500, "The vision worker sent an answer that could not be read (" +
                                               unreadable->reason + "); the worker was stopped");
        }
        return std::get<0>(std::move(decoded));
    }

    // The answer payload to `requestPayload`; on any failure the worker is
    // ended and the error says what happened to it.
    PlatformOutcome<std::string> converse(std::optional<WorkerProcess>& worker, const std::string& requestPayload,
                                          Clock::time_point until) {
        if (const auto failed = worker->write(visionFrame(requestPayload), remaining(until))) {
            return conversationFailure(worker, *failed);
        }
        // The worker process hands out a line or a count of bytes, not what
        // happened to arrive, so the reader is fed those pieces. Its line
        // limit is the reader's: a line that never ends is refused there
        // (EMSGSIZE) as early as the reader would refuse it.
        auto lengthLine = worker->readLine(maximumVisionFrameHeaderLength, remaining(until));
        if (!lengthLine) {
            return conversationFailure(worker, lengthLine.error());
        }
        VisionFrameReader reader;
        auto frame = reader.feed(lengthLine.value() + '\n');
        while (std::holds_alternative<VisionFrameIncomplete>(frame)) {
            auto bytes = worker->read(reader.payloadBytesAwaited(), remaining(until));
            if (!bytes) {
                return conversationFailure(worker, bytes.error());
            }
            frame = reader.feed(bytes.value());
        }
        if (const auto* error = std::get_if<VisionFrameError>(&frame)) {
            endWorker(worker);
            return visionServiceError(500, "The vision worker sent an answer that could not be read (" +
                                               error->reason + "); the worker was stopped");
        }
        return std::move(std::get<VisionFramePayload>(frame).bytes);
    }

    PlatformError conversationFailure(std::optional<WorkerProcess>& worker, const PlatformError& failure) {
        if (failure.code == ETIMEDOUT) {
            endWorker(worker);
            return visionServiceError(500, "The vision worker did not finish the analysis within " +
                                               timeLimitText(settings_.timeLimit) + " and was stopped");
        }
        if (failure.code == EMSGSIZE) {
            endWorker(worker);
            return visionServiceError(500, "The vision worker sent an answer that could not be read (a length "
                                           "line that never ended); the worker was stopped");
        }
        // Its pipes closed: it ended, or is about to.
        const auto exit = worker->waitForExit(std::chrono::milliseconds(1'000));
        std::string description = "The vision worker ended during the analysis";
        description += exit ? ": " + exit->description() : " (it closed its pipes and was stopped)";
        endWorker(worker);
        return visionServiceError(500, std::move(description));
    }

    // Kills it at once: whatever it was doing is of no use any more.
    static void endWorker(std::optional<WorkerProcess>& worker) {
        worker->stop(std::chrono::milliseconds(0));
        worker.reset();
    }

    static std::chrono::milliseconds remaining(Clock::time_point until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        return std::max(left, std::chrono::milliseconds(0));
    }

    struct UseStamp {
        WorkerSlot& slot;
        ~UseStamp() { slot.lastUsed = Clock::now(); }
    };

    struct IdleWatchResumer {
        IdleWorkerReaper& reaper;
        ~IdleWatchResumer() { reaper.callEnded(); }
    };

    const VisionWorkerSettings settings_;
    // The first serves every analysis; the others only a folder's images
    // and a video's analysed frames.
    std::vector<std::unique_ptr<WorkerSlot>> slots_;
    // After the slots, so it stops watching them before they go.
    std::optional<IdleWorkerReaper> idleReaper_;
};

VisionWorkerSettings besideThisProgram() {
    VisionWorkerSettings settings;
    settings.executable = siblingProgramPath(workerProgramName);
    return settings;
}

}  // namespace

std::size_t defaultVisionWorkerCount() {
    const std::size_t cores = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores / 2, 1, 4);
}

WorkerIdleLimits configuredWorkerIdleLimits(const DefaultsStore& defaults) {
    const auto configured = [&defaults](std::string_view key, std::chrono::milliseconds fallback) {
        const auto value = defaults.object(key);
        std::optional<double> seconds;
        if (value && value->intValue()) {
            seconds = static_cast<double>(*value->intValue());
        } else if (value) {
            seconds = value->doubleValue();
        }
        // Past a year is as good as never, and keeps the clock from
        // overflowing.
        if (!seconds || !(*seconds > 0)) {
            return fallback;
        }
        if (*seconds > 365.0 * 24 * 3600) {
            return std::chrono::milliseconds(std::chrono::hours(365 * 24));
        }
        return std::max(std::chrono::milliseconds(1),
                        std::chrono::milliseconds(static_cast<std::int64_t>(*seconds * 1000)));
    };
    const WorkerIdleLimits defaultLimits;
    return {configured("visionWorkerIdleSeconds", defaultLimits.first),
            configured("visionExtraWorkerIdleSeconds", defaultLimits.others)};
}

std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer(const DefaultsStore& defaults) {
    auto settings = besideThisProgram();
    settings.idleLimits = configuredWorkerIdleLimits(defaults);
    return makeWorkerVisionAnalyzer(std::move(settings));
}

std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer() {
    return makeWorkerVisionAnalyzer(besideThisProgram());
}

std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer(VisionWorkerSettings settings) {
    return std::make_shared<WorkerVisionAnalyzer>(std::move(settings));
}

}  // namespace lumenary::platform::vision
