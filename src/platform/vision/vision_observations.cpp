#include "platform/vision/vision_observations.hpp"

#include <bit>
#include <cmath>

namespace lumenary::platform::vision {

float featurePrintDistance(const FeaturePrint& first, const FeaturePrint& second) {
    return static_cast<float>(std::popcount(first.bits ^ second.bits));
}

std::optional<double> faceFeatureDistance(const FaceFeaturePrint& first, const FaceFeaturePrint& second) {
    if (first.values.empty() || first.values.size() != second.values.size()) {
        return std::nullopt;
    }
    double sum = 0;
    for (std::size_t index = 0; index < first.values.size(); ++index) {
        const double total = static_cast<double>(first.values[index]) + second.values[index];
        if (total > 0) {
            const double difference = static_cast<double>(first.values[index]) - second.values[index];
            sum += difference * difference / total;
        }
    }
    if (!std::isfinite(sum)) {
        return std::nullopt;
    }
    return sum / faceFeatureDistanceScale;
}

}  // namespace lumenary::platform::vision
