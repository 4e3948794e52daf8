#include "platform/vision/vision_observations.hpp"

#include <bit>

namespace lumenary::platform::vision {

float featurePrintDistance(const FeaturePrint& first, const FeaturePrint& second) {
    return static_cast<float>(std::popcount(first.bits ^ second.bits));
}

}  // namespace lumenary::platform::vision
