#include "platform/vision/worker/nanodet_decoding.hpp"

#include <algorithm>
#include <cmath>

namespace lumenary::platform::vision {

namespace {

constexpr int cocoClassCount = 80;
constexpr int distanceBins = 11;
constexpr int outputChannels = cocoClassCount + 4 * distanceBins;

float classScore(float logit) {
    return 1.0f / (1.0f + std::exp(-logit));
}

// The expected distance of one side's distribution, in strides.
float expectedDistance(const float* logits, std::size_t step) {
    float largest = logits[0];
    for (int bin = 1; bin < distanceBins; ++bin) {
        largest = std::max(largest, logits[static_cast<std::size_t>(bin) * step]);
    }
    float total = 0;
    float weighted = 0;
    for (int bin = 0; bin < distanceBins; ++bin) {
        const float weight = std::exp(logits[static_cast<std::size_t>(bin) * step] - largest);
        total += weight;
        weighted += weight * static_cast<float>(bin);
    }
    return weighted / total;
}

float intersection(const cv::Rect2f& first, const cv::Rect2f& second) {
    return (first & second).area();
}

}  // namespace

float DetectedObject::bestScore() const {
    return classScores.empty() ? 0.0f : *std::max_element(classScores.begin(), classScores.end());
}

std::vector<DetectedObject> nanodetObjects(const std::vector<cv::Mat>& outputs, int inputSide,
                                           const std::vector<int>& classes, float minimumScore) {
    std::vector<DetectedObject> objects;
    for (const auto& output : outputs) {
        if (output.dims != 4 || output.size[0] != 1 || output.size[1] != outputChannels ||
            output.type() != CV_32F || !output.isContinuous() || output.size[2] <= 0 ||
            output.size[2] != output.size[3]) {
            continue;
        }
        const int side = output.size[2];
        const float stride = static_cast<float>(inputSide) / static_cast<float>(side);
        const auto plane = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
        const float* values = output.ptr<float>();
        for (int row = 0; row < side; ++row) {
            for (int column = 0; column < side; ++column) {
                const std::size_t cell = static_cast<std::size_t>(row) * static_cast<std::size_t>(side) +
                                         static_cast<std::size_t>(column);
                DetectedObject object;
                bool found = false;
                for (const int index : classes) {
                    if (index < 0 || index >= cocoClassCount) {
                        object.classScores.push_back(0.0f);
                        continue;
                    }
                    const float score = classScore(values[static_cast<std::size_t>(index) * plane + cell]);
                    found = found || score >= minimumScore;
                    object.classScores.push_back(score);
                }
                if (!found) {
                    continue;
                }
                for (int index = 0; index < cocoClassCount; ++index) {
                    if (std::find(classes.begin(), classes.end(), index) == classes.end()) {
                        object.otherClassScore = std::max(
                            object.otherClassScore, classScore(values[static_cast<std::size_t>(index) * plane + cell]));
                    }
                }
                const float* distances = values + static_cast<std::size_t>(cocoClassCount) * plane + cell;
                const float left = expectedDistance(distances, plane) * stride;
                const float top = expectedDistance(distances + distanceBins * plane, plane) * stride;
                const float right = expectedDistance(distances + 2 * distanceBins * plane, plane) * stride;
                const float bottom = expectedDistance(distances + 3 * distanceBins * plane, plane) * stride;
                const float centreX = (static_cast<float>(column) + 0.5f) * stride;
                const float centreY = (static_cast<float>(row) + 0.5f) * stride;
                object.box = cv::Rect2f(centreX - left, centreY - top, left + right, top + bottom);
                objects.push_back(std::move(object));
            }
        }
    }
    return objects;
}

std::vector<DetectedObject> suppressedOverlaps(std::vector<DetectedObject> objects, float overlap) {
    std::stable_sort(objects.begin(), objects.end(), [](const DetectedObject& first, const DetectedObject& second) {
        return first.bestScore() > second.bestScore();
    });
    std::vector<DetectedObject> kept;
    for (auto& object : objects) {
        DetectedObject* covering = nullptr;
        for (auto& better : kept) {
            const float shared = intersection(object.box, better.box);
            const float united = object.box.area() + better.box.area() - shared;
            const float smaller = std::min(object.box.area(), better.box.area());
            if ((united > 0 && shared / united > overlap) || (smaller > 0 && shared / smaller > 0.8f)) {
                covering = &better;
                break;
            }
        }
        if (covering == nullptr) {
            kept.push_back(std::move(object));
            continue;
        }
        for (std::size_t index = 0; index < covering->classScores.size() && index < object.classScores.size();
             ++index) {
            covering->classScores[index] = std::max(covering->classScores[index], object.classScores[index]);
        }
        covering->otherClassScore = std::max(covering->otherClassScore, object.otherClassScore);
    }
    return kept;
}

}  // namespace lumenary::platform::vision
