#include "platform/vision/worker/attention_weight.hpp"

#include <algorithm>
#include <cmath>

namespace lumenary::platform::vision {

namespace {

// The share of the frame at which a subject weighs in full: a subject
// that fills a good part of the frame beats a smaller, brighter one
// unless the smaller is about as large or much surer.
constexpr double fullWeightShare = 0.1;

// Every other kind's weight stays under a face's least.
constexpr double faceWeight = 1.0;

double kindWeight(SubjectKind kind) {
    switch (kind) {
        case SubjectKind::face:
            return 1.0;
        case SubjectKind::animal:
            return 0.9;
        case SubjectKind::person:
            return 0.8;
        case SubjectKind::object:
            return 0.6;
    }
    return 0.6;
}

}  // namespace

double attentionWeight(SubjectKind kind, double confidence, double frameShare) {
    if (!std::isfinite(confidence) || !std::isfinite(frameShare)) {
        return 0;
    }
    const double weight = kindWeight(kind) * std::clamp(confidence, 0.0, 1.0) *
                          std::sqrt(std::clamp(frameShare / fullWeightShare, 0.0, 1.0));
    return kind == SubjectKind::face ? faceWeight + weight : weight;
}

}  // namespace lumenary::platform::vision
