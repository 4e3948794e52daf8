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

// The chi-square distance of two face prints is divided by this, so that
// similarity = 1 - distance keeps the meaning of the default threshold of
// 0.6: about 1 % of pairs of different people reach it.
inline constexpr double faceFeatureDistanceScale = 67.0;

// How far apart two faces are: 0 for the same face; similarity is
// 1 - distance. Nothing when the two prints cannot be compared.
//
// No face-recognition model is packaged for Debian, so a face print is a
// handcrafted texture descriptor (faceTexturePrint in the worker), not a
// learned one. Measured on the identity photos of the face library's
// examples (5 people x 11 photos, 150 x 150; vision_bench prints these): 1 %
// of different-person pairs stay under a chi-square of 26.9, hence the
// scale 67 (26.9 / 0.4). At the threshold 0.6, 1.0 % of different-person
// pairs match and 47 % of same-person pairs; the area under the ROC curve
// is 0.80 and the equal error rate 28 %. Median similarities: the same
// photo shrunk and re-encoded inside a 640 x 480 frame 0.84, the same face
// turned by 0.4 rad and set upright 0.87 (0.74 at worst), another photo of
// the same person 0.59, another person 0.40. So it finds the same face in
// the same photo or session reliably, and a person across different photos
// only about half the time.
std::optional<double> faceFeatureDistance(const FaceFeaturePrint& first, const FaceFeaturePrint& second);

}  // namespace lumenary::platform::vision
