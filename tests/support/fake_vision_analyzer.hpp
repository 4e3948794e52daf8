#pragma once

#include <functional>
#include <map>
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

    void setFaceObservations(std::vector<platform::vision::FaceObservation> observations) {
        std::lock_guard lock(mutex_);
        faces_ = std::move(observations);
    }
    // The target's print; nothing means the target shows no face.
    void setFaceFeaturePrint(std::optional<platform::vision::FaceFeaturePrint> print) {
        std::lock_guard lock(mutex_);
        targetPrint_ = std::move(print);
    }
    void setFaceFeatures(std::vector<platform::vision::FaceFeature> features) {
        std::lock_guard lock(mutex_);
        faceFeatures_ = std::move(features);
    }
    // The faces of one image, over those set for every image; an error
    // fails that image alone.
    void setFaceFeaturesOf(std::string imagePath, Answer<platform::vision::FaceFeature> features) {
        std::lock_guard lock(mutex_);
        faceFeaturesOf_.insert_or_assign(std::move(imagePath), std::move(features));
    }
    void setVideoInfo(platform::vision::VideoInfo info) {
        std::lock_guard lock(mutex_);
        videoInfo_ = info;
    }
    // Each requested time is answered with a frame at that time carrying the
    // analyses asked for (from the observations set above).
    void setVideoFrames(std::function<platform::PlatformOutcome<platform::vision::VideoFrameBatch>(
                            const platform::vision::VideoFrameRequest&)> answer) {
        std::lock_guard lock(mutex_);
        videoFrames_ = std::move(answer);
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

    Answer<platform::vision::FaceObservation> detectFaces(const std::string& imagePath) override {
        return answer("detectFaces " + imagePath, faces_);
    }
    platform::PlatformOutcome<std::optional<platform::vision::FaceFeaturePrint>> faceFeaturePrint(
        const std::string& imagePath) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("faceFeaturePrint " + imagePath);
        if (failure_) {
            return *failure_;
        }
        return targetPrint_;
    }
    Answer<platform::vision::FaceFeature> allFaceFeatures(const std::string& imagePath) override {
        {
            std::lock_guard lock(mutex_);
            if (const auto own = faceFeaturesOf_.find(imagePath); own != faceFeaturesOf_.end() && !failure_) {
                calls_.push_back("allFaceFeatures " + imagePath);
                return own->second;
            }
        }
        return answer("allFaceFeatures " + imagePath, faceFeatures_);
    }
    platform::PlatformOutcome<platform::vision::VideoInfo> videoInfo(const std::string& videoPath) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("videoInfo " + videoPath);
        if (failure_) {
            return *failure_;
        }
        return videoInfo_;
    }
    platform::PlatformOutcome<platform::vision::VideoFrameBatch> videoFrames(
        const std::string& videoPath, const platform::vision::VideoFrameRequest& request) override {
        std::function<platform::PlatformOutcome<platform::vision::VideoFrameBatch>(
            const platform::vision::VideoFrameRequest&)>
            answerWith;
        {
            std::lock_guard lock(mutex_);
            calls_.push_back("videoFrames " + videoPath + " " + std::to_string(request.times.size()));
            if (failure_) {
                return *failure_;
            }
            answerWith = videoFrames_;
        }
        if (answerWith) {
            return answerWith(request);
        }
        platform::vision::VideoFrameBatch batch;
        std::lock_guard lock(mutex_);
        for (const double time : request.times) {
            platform::vision::VideoFrame frame;
            frame.timestamp = time;
            if (request.faces) {
                frame.faces = faces_;
            }
            if (request.text) {
                frame.text = text_;
            }
            if (request.faceFeatures) {
                frame.faceFeatures = faceFeatures_;
            }
            if (request.animals) {
                frame.animals = animals_;
            }
            // Bodies and hands alike, as the image analyses.
            if (request.bodyPose) {
                frame.bodyPoses = poses_;
            }
            if (request.handPose) {
                frame.handPoses = poses_;
            }
            batch.frames.emplace_back(std::move(frame));
        }
        return batch;
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
    std::vector<platform::vision::FaceObservation> faces_;
    std::optional<platform::vision::FaceFeaturePrint> targetPrint_;
    std::vector<platform::vision::FaceFeature> faceFeatures_;
    std::map<std::string, Answer<platform::vision::FaceFeature>> faceFeaturesOf_;
    platform::vision::VideoInfo videoInfo_;
    std::function<platform::PlatformOutcome<platform::vision::VideoFrameBatch>(
        const platform::vision::VideoFrameRequest&)>
        videoFrames_;
    std::vector<std::string> calls_;
};

}  // namespace lumenary::testing
