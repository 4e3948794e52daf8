#include "app/tools/vision/vision_service.hpp"

#include "app/tools/vision/face_video_search.hpp"
#include "app/tools/vision/video_analysis.hpp"
#include "app/tools/vision/vision_results.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

namespace vision = platform::vision;

ToolError passedOnVisionError(const platform::PlatformError& error) {
    return ToolError(error.domain, error.code, error.description);
}

// Runs `work` on the request thread and builds the result from what it saw.
template <typename Work, typename Build>
asio::awaitable<ToolOutcome<PlainDictionary>> analysed(asio::thread_pool& requestThread, Work work, Build build) {
    auto observations = co_await async::runBlockingOn(requestThread, std::move(work));
    if (!observations) {
        co_return passedOnVisionError(observations.error());
    }
    co_return build(observations.value());
}

}  // namespace

VisionService::VisionService(std::shared_ptr<vision::VisionAnalyzer> analyzer, logging::Console console)
    : analyzer_(std::move(analyzer)), console_(std::move(console)) {}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::recognizeText(std::string imagePath,
                                                                           std::string recognitionLevel,
                                                                           std::vector<std::string> languages) {
    vision::TextRecognitionOptions options{.level = recognitionLevel == "fast" ? vision::TextRecognitionLevel::fast
                                                                               : vision::TextRecognitionLevel::accurate,
                                           .languages = std::move(languages)};
    auto work = [analyzer = analyzer_, imagePath = std::move(imagePath), options = std::move(options)] {
        return analyzer->recognizeText(imagePath, options);
    };
    co_return co_await analysed(requestThread_, std::move(work), textRecognitionResult);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::detectBarcodes(std::string imagePath) {
    auto work = [analyzer = analyzer_, imagePath = std::move(imagePath)] {
        return analyzer->detectBarcodes(imagePath);
    };
    co_return co_await analysed(requestThread_, std::move(work), barcodeResult);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::recognizeAnimals(std::string imagePath) {
    auto work = [analyzer = analyzer_, imagePath = std::move(imagePath)] {
        return analyzer->recognizeAnimals(imagePath);
    };
    co_return co_await analysed(requestThread_, std::move(work), animalResult);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::detectBodyPose(std::string imagePath) {
    auto work = [analyzer = analyzer_, imagePath = std::move(imagePath)] {
        return analyzer->detectBodyPose(imagePath);
    };
    co_return co_await analysed(requestThread_, std::move(work), bodyPoseResult);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::detectHandPose(std::string imagePath) {
    auto work = [analyzer = analyzer_, imagePath = std::move(imagePath)] {
        return analyzer->detectHandPose(imagePath);
    };
    co_return co_await analysed(requestThread_, std::move(work), handPoseResult);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::analyzeSaliency(std::string imagePath, std::string type) {
    const auto kind = type == "objectness" ? vision::SaliencyKind::objectness : vision::SaliencyKind::attention;
    auto work = [analyzer = analyzer_, imagePath = std::move(imagePath), kind] {
        return analyzer->analyzeSaliency(imagePath, kind);
    };
    co_return co_await analysed(requestThread_, std::move(work), saliencyResult);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::compareImages(std::string firstImagePath,
                                                                           std::string secondImagePath) {
    auto work = [analyzer = analyzer_,
                 imagePaths = std::vector{std::move(firstImagePath), std::move(secondImagePath)}] {
        return analyzer->featurePrints(imagePaths);
    };
    auto prints = co_await async::runBlockingOn(requestThread_, std::move(work));
    if (!prints) {
        co_return passedOnVisionError(prints.error());
    }
    if (prints.value().size() != 2) {
        co_return ToolError("VisionService", 500, "Failed to generate feature print");
    }
    co_return imageComparisonResult(vision::featurePrintDistance(prints.value()[0], prints.value()[1]));
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::analyzeVideo(VideoAnalysisArguments arguments) {
    auto work = [analyzer = analyzer_, arguments = std::move(arguments), console = console_] {
        return analyzedVideo(*analyzer, arguments, console);
    };
    co_return co_await async::runBlockingOn(requestThread_, std::move(work));
}

}  // namespace lumenary::app
