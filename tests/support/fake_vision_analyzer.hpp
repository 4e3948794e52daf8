#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::testing {

// A VisionAnalyzer that answers every analysis with the observations the
// test set (none by default), or every call with the one error the test set,
// and keeps each call as a line of text.
class FakeVisionAnalyzer final : public platform::vision::VisionAnalyzer {
public:
    template <typename Observations>
    using Answer = platform::PlatformOutcome<std::vector<Observations>>;

    void failWith(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(error);
    }
    void setTextObservations(std::vector<platform::vision::TextObservation> observations) {
        std::lock_guard lock(mutex_);
        text_ = std::move(observations);
    }
    void setBarcodeObservations(std::vector<platform::vision::BarcodeObservation> observations) {
        std::lock_guard lock(mutex_);
        barcodes_ = std::move(observations);
    }
    void setSaliencyObservations(std::vector<platform::vision::SaliencyObservation> observations) {
        std::lock_guard lock(mutex_);
        saliency_ = std::move(observations);
    }
    void setFeaturePrints(std::vector<platform::vision::FeaturePrint> prints) {
        std::lock_guard lock(mutex_);
        prints_ = std::move(prints);
    }
    void setAnimalObservations(std::vector<platform::vision::AnimalObservation> observations) {
        std::lock_guard lock(mutex_);
        animals_ = std::move(observations);
    }
    void setPoseObservations(std::vector<platform::vision::PoseObservation> observations) {
        std::lock_guard lock(mutex_);
        poses_ = std::move(observations);
    }

    // "recognizeText <path> fast|accurate [<language>,...]",
    // "analyzeSaliency <path> objectness|attention", "featurePrints <path> <path>",
    // else "<member> <path>".
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    Answer<platform::vision::TextObservation> recognizeText(
        const std::string& imagePath, const platform::vision::TextRecognitionOptions& options) override {
        std::string languages;
        for (const auto& language : options.languages) {
            languages += (languages.empty() ? "" : ",") + language;
        }
        const bool fast = options.level == platform::vision::TextRecognitionLevel::fast;
        return answer("recognizeText " + imagePath + (fast ? " fast [" : " accurate [") + languages + "]", text_);
    }
    Answer<platform::vision::BarcodeObservation> detectBarcodes(const std::string& imagePath) override {
        return answer("detectBarcodes " + imagePath, barcodes_);
    }
    Answer<platform::vision::SaliencyObservation> analyzeSaliency(const std::string& imagePath,
                                                                  platform::vision::SaliencyKind kind) override {
        const bool objectness = kind == platform::vision::SaliencyKind::objectness;
        return answer("analyzeSaliency " + imagePath + (objectness ? " objectness" : " attention"), saliency_);
    }
    Answer<platform::vision::FeaturePrint> featurePrints(const std::vector<std::string>& imagePaths) override {
        std::string call = "featurePrints";
        for (const auto& path : imagePaths) {
            call += " " + path;
        }
        return answer(call, prints_);
    }
    Answer<platform::vision::AnimalObservation> recognizeAnimals(const std::string& imagePath) override {
        return answer("recognizeAnimals " + imagePath, animals_);
    }
    Answer<platform::vision::PoseObservation> detectBodyPose(const std::string& imagePath) override {
        return answer("detectBodyPose " + imagePath, poses_);
    }
    Answer<platform::vision::PoseObservation> detectHandPose(const std::string& imagePath) override {
        return answer("detectHandPose " + imagePath, poses_);
    }

private:
    template <typename Observations>
    Answer<Observations> answer(std::string call, const std::vector<Observations>& observations) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        if (failure_) {
            return *failure_;
        }
        return observations;
    }

    mutable std::mutex mutex_;
    std::optional<platform::PlatformError> failure_;
    std::vector<platform::vision::TextObservation> text_;
    std::vector<platform::vision::BarcodeObservation> barcodes_;
    std::vector<platform::vision::SaliencyObservation> saliency_;
    std::vector<platform::vision::FeaturePrint> prints_;
    std::vector<platform::vision::AnimalObservation> animals_;
    std::vector<platform::vision::PoseObservation> poses_;
    std::vector<std::string> calls_;
};

}  // namespace lumenary::testing
