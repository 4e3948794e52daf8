#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumenary::platform::vision {

// A rectangle normalised to the image (0 to 1 of its width and height) with
// its origin at the lower-left corner: (x, y) is that corner.
struct NormalizedRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    friend bool operator==(const NormalizedRect&, const NormalizedRect&) = default;
};

// A point normalised like NormalizedRect (origin lower left).
struct NormalizedPoint {
    double x = 0;
    double y = 0;

    friend bool operator==(const NormalizedPoint&, const NormalizedPoint&) = default;
};

// One line of recognised text. The recogniser may find a line without being
// able to read it: then there is no candidate.
struct TextCandidate {
    std::string text;
    float confidence = 0;  // 0 to 1
};
struct TextObservation {
    std::optional<TextCandidate> topCandidate;
    NormalizedRect boundingBox;
};

// One decoded barcode. `symbology` is one of the names in barcode_symbology.hpp;
// `payload` is absent when the code holds binary content rather than text.
struct BarcodeObservation {
    std::string symbology;
    std::optional<std::string> payload;
    NormalizedRect boundingBox;
};

// A region of a saliency map. An observation without a list of salient
// objects contributes nothing (the analysis found a map but no region).
struct SalientObject {
    float confidence = 0;  // 0 to 1
    NormalizedRect boundingBox;
};
struct SaliencyObservation {
    std::optional<std::vector<SalientObject>> salientObjects;
};

// Which regions a saliency analysis reports: every object it separates from
// the background, or the one that draws the eye first.
enum class SaliencyKind { objectness, attention };

// An animal with the recogniser's labels in its own order.
struct AnimalLabel {
    std::string identifier;
    float confidence = 0;
};
struct AnimalObservation {
    std::vector<AnimalLabel> labels;
    NormalizedRect boundingBox;
};

// A body or a hand with its joints, in the order of the joint table of its
// kind; a joint the detector could not look up is absent. Confidences are
// reported as the detector gives them (a caller filters out 0 and NaN).
struct PoseJoint {
    std::string key;
    std::optional<NormalizedPoint> location;
    float confidence = 0;
};
struct PoseObservation {
    float confidence = 0;
    std::vector<PoseJoint> joints;
};

// A compact description of an image's look, compared by featurePrintDistance.
struct FeaturePrint {
    std::uint64_t bits = 0;

    friend bool operator==(const FeaturePrint&, const FeaturePrint&) = default;
};

// How far apart two prints are: 0 for the same look, up to 64. This is
// near-duplicate similarity, not meaning: a re-encoded, scaled or brightened
// copy stays within 5 to 10, unrelated photos sit at 20 or more, but a crop
// of 15 % per side, a mirror image or another photo of the same scene comes
// out as unrelated (a 5 % crop already spreads from 12 to 30).
float featurePrintDistance(const FeaturePrint& first, const FeaturePrint& second);

// The landmark regions found on a face, as point counts; a region the
// detector does not report is absent.
struct FaceLandmarksSummary {
    std::optional<int> leftEyeCount;
    std::optional<int> rightEyeCount;
    std::optional<int> nosePointCount;
    std::optional<int> mouthPointCount;
};

// One face. Roll and yaw are in radians; either is absent when the detector
// gives none, and the landmarks are absent when it found none.
struct FaceObservation {
    NormalizedRect boundingBox;
    std::optional<double> roll;
    std::optional<double> yaw;
    std::optional<FaceLandmarksSummary> landmarks;
};

// A description of one face, compared by faceFeatureDistance.
struct FaceFeaturePrint {
    std::vector<float> values;
};

// A face's print with the face's box in the whole analysed image (taken
// before any straightening).
struct FaceFeature {
    FaceFeaturePrint print;
    NormalizedRect boundingBox;
};

// The cosine distance of two face prints (1 - cosine, 0 to 2) is divided
// by this, so that at the default threshold of 0.6 (similarity = 1 -
// distance) two faces match when their cosine is at least 0.62.
inline constexpr double faceFeatureDistanceScale = 0.95;

// How far apart two faces are: 0 for the same face, up to 2 /
// faceFeatureDistanceScale for opposite prints; similarity is 1 -
// distance. Nothing when the two prints cannot be compared (lengths that
// differ, a print of zero length, a value that is not finite).
//
// A face print is the learned descriptor of the face descriptor network
// (faceDescriptorPrint in the worker). Measured on the identity photos of
// the face library's examples (5 people x 11 different photos, 150 x 150;
// 275 same-person and 1210 different-person pairs; vision_bench prints
// these): cosines of the same person have a median of 0.80 and 1 in 10
// below 0.67, of different people a median of 0.41 and 1 in 100 above
// 0.59, the highest 0.63; the area under the ROC curve is 0.9999. At the
// threshold 0.6, 98.9 % of same-person pairs match and 0.17 % of
// different-person pairs (2 of 1210).
std::optional<double> faceFeatureDistance(const FaceFeaturePrint& first, const FaceFeaturePrint& second);

}  // namespace lumenary::platform::vision
