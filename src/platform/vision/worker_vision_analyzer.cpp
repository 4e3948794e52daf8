#include "platform/vision/worker_vision_analyzer.hpp"

namespace lumenary::platform::vision {

namespace {

// Stands in until the worker client lands.
class UnavailableVisionAnalyzer final : public VisionAnalyzer {
public:
    PlatformOutcome<std::vector<TextObservation>> recognizeText(const std::string&,
                                                                const TextRecognitionOptions&) override {
        return unavailable();
    }
    PlatformOutcome<std::vector<BarcodeObservation>> detectBarcodes(const std::string&) override {
        return unavailable();
    }
    PlatformOutcome<std::vector<SaliencyObservation>> analyzeSaliency(const std::string&, SaliencyKind) override {
        return unavailable();
    }
    PlatformOutcome<std::vector<FeaturePrint>> featurePrints(const std::vector<std::string>&) override {
        return unavailable();
    }
    PlatformOutcome<std::vector<AnimalObservation>> recognizeAnimals(const std::string&) override {
        return unavailable();
    }
    PlatformOutcome<std::vector<PoseObservation>> detectBodyPose(const std::string&) override { return unavailable(); }
    PlatformOutcome<std::vector<PoseObservation>> detectHandPose(const std::string&) override { return unavailable(); }

private:
    static PlatformError unavailable() {
        return visionServiceError(501, "Image analysis is not available on this platform");
    }
};

}  // namespace

std::shared_ptr<VisionAnalyzer> makeWorkerVisionAnalyzer() {
    return std::make_shared<UnavailableVisionAnalyzer>();
}

}  // namespace lumenary::platform::vision
