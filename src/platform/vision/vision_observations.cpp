#include "platform/vision/vision_observations.hpp"

#include <algorithm>
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
    double product = 0;
    double firstLength = 0;
    double secondLength = 0;
    for (std::size_t index = 0; index < first.values.size(); ++index) {
        product += static_cast<double>(first.values[index]) * second.values[index];
        firstLength += static_cast<double>(first.values[index]) * first.values[index];
        secondLength += static_cast<double>(second.values[index]) * second.values[index];
    }
    const double lengths = std::sqrt(firstLength * secondLength);
    if (!std::isfinite(product) || !std::isfinite(lengths) || lengths <= 0) {
        return std::nullopt;
    }
    const double cosine = std::clamp(product / lengths, -1.0, 1.0);
    return (1 - cosine) / faceFeatureDistanceScale;
}

}  // namespace lumenary::platform::vision
