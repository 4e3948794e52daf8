#include "platform/vision/worker/salient_objects.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/attention_weight.hpp"
#include "platform/vision/worker/coco_object_detector.hpp"
#include "platform/vision/worker/face_analysis.hpp"
#include "platform/vision/worker/most_salient_part.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"
#include "platform/vision/worker/normalized_rect_from_pixels.hpp"
#include "platform/vision/worker/saliency_map.hpp"

namespace lumenary::platform::vision {

namespace {

// Under the first the detector's guesses are rarely right. Between the two
// lie real objects it sees poorly (the astronaut's helmet at 0.44, a horse
// grazing at 0.48) and shapes it cannot name (a drawn disc, half kite,
// half frisbee, at 0.52); from the second on it is sure of an object (a
// cup, a motorcycle, a bicycle at 0.6 to 0.8).
constexpr float minimumObjectScore = 0.4f;
constexpr float sureObjectScore = 0.55f;
// Two boxes of one class overlapping by more than this are one object;
// of two classes (a cat also scored as a dog), by more than the second.
constexpr float sameClassOverlap = 0.5f;
constexpr float otherClassOverlap = 0.6f;
// A share of the frame's area under which a region is a speck.
constexpr double speckShare = 0.005;
// A subject covering this share of the frame or more is narrowed for
// attention to its most salient part, when that part is no larger than the
// second share of it and no smaller than the third of the frame.
constexpr double narrowedShare = 0.75;
constexpr double narrowestPart = 0.6;
constexpr double smallestPartShare = 0.05;
// A box this close to every edge is the frame, not an object in it.
constexpr double wholeFrameSide = 0.95;
// Faces are searched on a copy of this longer side, which the face
// detector doubles: faces of an eighth of the image's side and more are
// found, in a quarter of the time the working copy would take. A smaller
// face draws the eye less than the person it belongs to.
constexpr int faceSearchSide = 320;
// The face detector answers yes or no, with no score: a face counts as
// sure as the detector's surest objects.
constexpr float faceConfidence = 0.9f;

struct Subject {
    cv::Rect2f box;
    float confidence = 0;
    SubjectKind kind = SubjectKind::object;
};

cv::Mat copyOfSide(const cv::Mat& rgb, int side) {
    const double scale = static_cast<double>(side) / std::max(rgb.cols, rgb.rows);
    if (scale >= 1.0) {
        return rgb;
    }
    cv::Mat small;
    cv::resize(rgb, small,
               {std::max(1, static_cast<int>(std::lround(rgb.cols * scale))),
                std::max(1, static_cast<int>(std::lround(rgb.rows * scale)))},
               0, 0, cv::INTER_AREA);
    return small;
}

float overlap(const cv::Rect2f& first, const cv::Rect2f& second) {
    const float shared = (first & second).area();
    const float united = first.area() + second.area() - shared;
    return united > 0 ? shared / united : 0.0f;
}

double shareOf(const cv::Rect2f& box, cv::Size size) {
    return static_cast<double>((box & cv::Rect2f(0, 0, static_cast<float>(size.width),
                                                 static_cast<float>(size.height)))
                                   .area()) /
           size.area();
}

bool isWholeFrame(const cv::Rect2f& box, cv::Size size) {
    const cv::Rect2f inside = box & cv::Rect2f(0, 0, static_cast<float>(size.width), static_cast<float>(size.height));
    return inside.width >= wholeFrameSide * size.width && inside.height >= wholeFrameSide * size.height;
}

bool isProminent(const Subject& subject, cv::Size size) {
    return shareOf(subject.box, size) >= speckShare && !isWholeFrame(subject.box, size);
}

SubjectKind kindOfClass(int index) {
    if (index == cocoPersonClass) {
        return SubjectKind::person;
    }
    return index >= cocoFirstAnimalClass && index <= cocoLastAnimalClass ? SubjectKind::animal : SubjectKind::object;
}

struct ClassedObject {
    cv::Rect2f box;
    float score = 0;
    int classIndex = 0;
};

// The detector's objects of every class in the whole image, seen at two
// fills (an object filling the frame is found at the smaller), one box per
// object.
PlatformOutcome<std::vector<Subject>> detectedObjects(const cv::Mat& rgb) {
    auto network = VisionNetworkStore::shared().network(cocoDetectorNetwork);
    if (!network) {
        return network.error();
    }
    std::vector<int> classes(cocoDetectorClassCount);
    std::iota(classes.begin(), classes.end(), 0);
    const cv::Rect whole(0, 0, rgb.cols, rgb.rows);
    std::vector<ClassedObject> found;
    for (const double fill : {1.0, 0.7}) {
        for (const auto& object :
             detectObjectsInView(*network.value(), rgb, {whole, fill}, classes, minimumObjectScore)) {
            const auto best = std::max_element(object.classScores.begin(), object.classScores.end());
            found.push_back({object.box, *best, static_cast<int>(best - object.classScores.begin())});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const ClassedObject& first, const ClassedObject& second) { return first.score > second.score; });
    std::vector<ClassedObject> kept;
    for (const auto& object : found) {
        const bool repeated = std::any_of(kept.begin(), kept.end(), [&](const ClassedObject& better) {
            return overlap(object.box, better.box) > (better.classIndex == object.classIndex ? sameClassOverlap
                                                                                             : otherClassOverlap);
        });
        if (!repeated) {
            kept.push_back(object);
        }
    }
    std::vector<Subject> subjects;
    for (const auto& object : kept) {
        subjects.push_back({object.box, object.score, kindOfClass(object.classIndex)});
    }
    return subjects;
}

// Faces are looked for only where the detector sees a person (it finds
// one behind a face filling the photo too): that spares a fifth of the
// time and the face model's memory on every other image.
bool seesAPerson(const std::vector<Subject>& objects) {
    return std::any_of(objects.begin(), objects.end(),
                       [](const Subject& object) { return object.kind == SubjectKind::person; });
}

PlatformOutcome<std::vector<Subject>> detectedFaces(const cv::Mat& rgb) {
    const cv::Mat small = copyOfSide(rgb, faceSearchSide);
    auto faces = detectFaces(small);
    if (!faces) {
        return faces.error();
    }
    std::vector<Subject> subjects;
    for (const auto& face : faces.value()) {
        const auto& box = face.boundingBox;
        subjects.push_back({cv::Rect2f(static_cast<float>(box.x * rgb.cols),
                                       static_cast<float>((1.0 - box.y - box.height) * rgb.rows),
                                       static_cast<float>(box.width * rgb.cols),
                                       static_cast<float>(box.height * rgb.rows)),
                            faceConfidence, SubjectKind::face});
    }
    return subjects;
}

SalientObject regionOf(const Subject& subject, cv::Size size) {
    const auto& box = subject.box;
    return {std::clamp(subject.confidence, 0.0f, 1.0f),
            normalizedRectFromPixels(box.x, box.y, box.br().x, box.br().y, size)};
}

bool onABoxedPerson(const Subject& face, const std::vector<Subject>& objects) {
    return std::any_of(objects.begin(), objects.end(), [&](const Subject& object) {
        return object.kind == SubjectKind::person && (face.box & object.box).area() >= 0.8f * face.box.area();
    });
}

std::vector<SalientObject> objectnessRegions(const std::vector<Subject>& objects, const std::vector<Subject>& faces,
                                             cv::Size size) {
    std::vector<Subject> prominent;
    for (const auto& object : objects) {
        if (isProminent(object, size)) {
            prominent.push_back(object);
        }
    }
    // A face filling the photo is boxed: its person's box is the frame.
    for (const auto& face : faces) {
        if (isProminent(face, size) && !onABoxedPerson(face, prominent)) {
            prominent.push_back(face);
        }
    }
    std::stable_sort(prominent.begin(), prominent.end(), [](const Subject& first, const Subject& second) {
        return first.confidence > second.confidence;
    });
    if (prominent.size() > salientObjectsLimit) {
        prominent.resize(salientObjectsLimit);
    }
    std::vector<SalientObject> regions;
    for (const auto& subject : prominent) {
        regions.push_back(regionOf(subject, size));
    }
    return regions;
}

double attentionWeightOf(const Subject& subject, cv::Size size) {
    return attentionWeight(subject.kind, subject.confidence, shareOf(subject.box, size));
}

// A subject that fills most of the frame (a cat's head filling the
// picture) is narrowed to its most salient part (its eyes), so that
// attention names more than the frame.
Subject narrowed(const Subject& subject, const cv::Mat& rgb) {
    if (shareOf(subject.box, rgb.size()) < narrowedShare) {
        return subject;
    }
    const cv::Rect box = cv::Rect(subject.box) & cv::Rect(0, 0, rgb.cols, rgb.rows);
    const auto part = mostSalientPart(rgb(box));
    if (!part || part->area() > narrowestPart * box.area() ||
        part->area() < smallestPartShare * static_cast<double>(rgb.size().area())) {
        return subject;
    }
    return {cv::Rect2f(*part + box.tl()), subject.confidence, subject.kind};
}

std::vector<SalientObject> attentionRegion(const std::vector<Subject>& objects, const std::vector<Subject>& faces,
                                           const cv::Mat& rgb) {
    const cv::Size size = rgb.size();
    std::vector<Subject> candidates;
    for (const auto* subjects : {&faces, &objects}) {
        std::copy_if(subjects->begin(), subjects->end(), std::back_inserter(candidates),
                     [&](const Subject& subject) { return shareOf(subject.box, size) >= speckShare; });
    }
    std::stable_sort(candidates.begin(), candidates.end(), [&](const Subject& first, const Subject& second) {
        return attentionWeightOf(first, size) > attentionWeightOf(second, size);
    });
    // A subject filling the frame edge to edge counts once narrowed.
    for (const auto& candidate : candidates) {
        const auto region = narrowed(candidate, rgb);
        if (!isWholeFrame(region.box, size)) {
            return {regionOf(region, size)};
        }
    }
    return {};
}

bool isProminentRegion(const SalientObject& region) {
    const auto& box = region.boundingBox;
    return box.width * box.height >= speckShare && !(box.width >= wholeFrameSide && box.height >= wholeFrameSide);
}

float overlap(const NormalizedRect& first, const NormalizedRect& second) {
    const auto rect = [](const NormalizedRect& box) {
        return cv::Rect2f(static_cast<float>(box.x), static_cast<float>(box.y), static_cast<float>(box.width),
                          static_cast<float>(box.height));
    };
    return overlap(rect(first), rect(second));
}

// Where the detectors found nothing: the map's region that is neither a
// speck nor the frame and weighs most for attention, its contrast taken
// as its confidence (a bright lamp stands out more than the rocket beside
// it, but is much smaller).
std::vector<SalientObject> mapAttentionRegion(const cv::Mat& rgb) {
    std::vector<SalientObject> regions;
    for (const auto& region : salientRegions(rgb)) {
        if (isProminentRegion(region)) {
            regions.push_back(region);
        }
    }
    const auto weight = [](const SalientObject& region) {
        return attentionWeight(SubjectKind::object, region.confidence,
                               region.boundingBox.width * region.boundingBox.height);
    };
    const auto heaviest = std::max_element(regions.begin(), regions.end(),
                                           [&](const SalientObject& first, const SalientObject& second) {
                                               return weight(first) < weight(second);
                                           });
    if (heaviest == regions.end()) {
        return {};
    }
    return {*heaviest};
}

// Whether the detectors know what they found: a face, an animal, a person,
// or an object they are sure of. A drawn disc is half a kite, half a
// frisbee.
bool isKnown(const std::vector<Subject>& objects, const std::vector<Subject>& faces) {
    return !faces.empty() || std::any_of(objects.begin(), objects.end(), [](const Subject& object) {
               return object.kind != SubjectKind::object || object.confidence >= sureObjectScore;
           });
}

// The objects with the contrast map's regions that none of them covers and
// that are neither specks nor the frame, surest first, at most the limit.
std::vector<SalientObject> withMapRegions(std::vector<SalientObject> regions, const cv::Mat& rgb) {
    for (const auto& region : salientRegions(rgb)) {
        if (!isProminentRegion(region)) {
            continue;
        }
        const bool covered = std::any_of(regions.begin(), regions.end(), [&](const SalientObject& object) {
            return overlap(object.boundingBox, region.boundingBox) > sameClassOverlap;
        });
        if (!covered) {
            regions.push_back(region);
        }
    }
    std::stable_sort(regions.begin(), regions.end(), [](const SalientObject& first, const SalientObject& second) {
        return first.confidence > second.confidence;
    });
    if (regions.size() > salientObjectsLimit) {
        regions.resize(salientObjectsLimit);
    }
    return regions;
}

}  // namespace

PlatformOutcome<std::vector<SalientObject>> salientObjects(const cv::Mat& rgb, SaliencyKind kind) {
    if (rgb.empty()) {
        return std::vector<SalientObject>{};
    }
    const cv::Mat small = copyOfSide(rgb, salientObjectsWorkingSide);
    auto objects = detectedObjects(small);
    if (!objects) {
        return objects.error();
    }
    auto faces = seesAPerson(objects.value()) ? detectedFaces(small) : std::vector<Subject>{};
    if (!faces) {
        return faces.error();
    }
    if (kind == SaliencyKind::attention) {
        auto region = attentionRegion(objects.value(), faces.value(), small);
        if (!region.empty()) {
            return region;
        }
        return mapAttentionRegion(small);
    }
    auto regions = objectnessRegions(objects.value(), faces.value(), small.size());
    if (isKnown(objects.value(), faces.value())) {
        return regions;
    }
    return withMapRegions(std::move(regions), small);
}

}  // namespace lumenary::platform::vision
