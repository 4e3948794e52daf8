#include "platform/vision/worker/animal_recognizer.hpp"

#include <algorithm>
#include <cmath>

#include "platform/vision/worker/coco_object_detector.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"
#include "platform/vision/worker/normalized_rect_from_pixels.hpp"

namespace lumenary::platform::vision {

namespace {

constexpr int detectorInputSide = cocoDetectorInputSide;
// The COCO classes that are animals of this analysis, and their labels.
const std::vector<int> animalClasses = {15, 16};
const char* const animalLabels[] = {"Cat", "Dog"};
// Below this a class is not reported. On the packaged photos the cats and
// dogs score 0.60 to 0.71 (nine animals in five photos); the best score a
// cat or dog class reaches on something else is 0.51 (an eagle), and on
// people, horses and a giraffe under 0.45.
constexpr float minimumConfidence = 0.55f;
constexpr float overlapLimit = 0.45f;
// A second label is given only when the detector hesitates between the two:
// a cat filling the frame scores 0.7 as a cat and 0.4 as a dog.
constexpr float hesitation = 0.15f;
// An image whose longer side is two network inputs or more is also looked
// at in four overlapping quarters, where an animal is larger; one whose
// longer side is two tiles or more, in overlapping tiles of this side
// (three network inputs) instead. In a 12-megapixel photo a cat of 450
// pixels (a ninth of its width) is found, one of 300 is not.
constexpr int tileSide = 3 * detectorInputSide;
constexpr double tileOverlap = 0.15;
// An image at least this much wider than high (or higher than wide) and
// under two tiles is also looked at in a row of square parts, as many as
// its sides' ratio (rounded, at most the second): the whole image,
// letterboxed, leaves each of the animals side by side in it half the
// input or less, where the detector takes a dog for a person. Two photos
// of a dog side by side give the second dog 0.37 as a whole, and 0.45 in
// its own part filling the input, 0.60 with room around it: each part is
// seen at both fills.
constexpr double elongatedRatio = 1.5;
constexpr int mostParts = 4;

// The start of each of the tiles that cover `length` with overlap.
std::vector<int> tileStarts(int length, int tile) {
    if (length <= tile) {
        return {0};
    }
    const double step = tile * (1.0 - tileOverlap);
    const int count = static_cast<int>(std::ceil((length - tile) / step)) + 1;
    std::vector<int> starts;
    for (int index = 0; index < count; ++index) {
        starts.push_back(static_cast<int>(std::lround(static_cast<double>(length - tile) * index / (count - 1))));
    }
    return starts;
}

// Square parts along the longer side, overlapping evenly. A sliver of an
// image gets a few slivers, not one part per pixel of its length.
std::vector<DetectorView> partsAlong(cv::Size size) {
    const int shorterSide = std::min(size.width, size.height);
    const int longerSide = std::max(size.width, size.height);
    const int count = std::min(mostParts, static_cast<int>(std::lround(static_cast<double>(longerSide) / shorterSide)));
    std::vector<DetectorView> parts;
    for (int index = 0; index < count; ++index) {
        const int start =
            static_cast<int>(std::lround(static_cast<double>(longerSide - shorterSide) * index / (count - 1)));
        const cv::Rect part = size.width > size.height ? cv::Rect(start, 0, shorterSide, shorterSide)
                                                       : cv::Rect(0, start, shorterSide, shorterSide);
        parts.push_back({part, 1.0});
        parts.push_back({part, 0.7});
    }
    return parts;
}

std::vector<DetectorView> viewsOf(cv::Size size) {
    const cv::Rect whole(0, 0, size.width, size.height);
    std::vector<DetectorView> views{{whole, 1.0}, {whole, 0.7}};
    const int longerSide = std::max(size.width, size.height);
    const int shorterSide = std::min(size.width, size.height);
    if (longerSide < 2 * tileSide && shorterSide > 0 && longerSide >= elongatedRatio * shorterSide) {
        const auto parts = partsAlong(size);
        views.insert(views.end(), parts.begin(), parts.end());
        return views;
    }
    if (longerSide < 2 * detectorInputSide) {
        return views;
    }
    if (longerSide >= 2 * tileSide) {
        const int tileWidth = std::min(size.width, tileSide);
        const int tileHeight = std::min(size.height, tileSide);
        for (const int top : tileStarts(size.height, tileHeight)) {
            for (const int left : tileStarts(size.width, tileWidth)) {
                views.push_back({cv::Rect(left, top, tileWidth, tileHeight), 1.0});
            }
        }
        return views;
    }
    // Four overlapping quarters.
    const int quarterWidth = std::max(1, static_cast<int>(size.width * 0.6));
    const int quarterHeight = std::max(1, static_cast<int>(size.height * 0.6));
    for (const int top : {0, size.height - quarterHeight}) {
        for (const int left : {0, size.width - quarterWidth}) {
            views.push_back({cv::Rect(left, top, quarterWidth, quarterHeight), 1.0});
        }
    }
    return views;
}

// Whether a box found in a tile was cut by one of the tile's inner edges:
// the animal goes on in the next tile, or is a large one the whole-image
// views see.
bool cutByTile(const cv::Rect2f& box, const cv::Rect& region, cv::Size size) {
    const float marginX = 0.02f * static_cast<float>(region.width);
    const float marginY = 0.02f * static_cast<float>(region.height);
    return (region.x > 0 && box.x <= static_cast<float>(region.x) + marginX) ||
           (region.y > 0 && box.y <= static_cast<float>(region.y) + marginY) ||
           (region.br().x < size.width && box.br().x >= static_cast<float>(region.br().x) - marginX) ||
           (region.br().y < size.height && box.br().y >= static_cast<float>(region.br().y) - marginY);
}

AnimalObservation observationOf(const DetectedObject& object, cv::Size size) {
    AnimalObservation observation;
    const float best = object.bestScore();
    for (std::size_t index = 0; index < animalClasses.size(); ++index) {
        if (object.classScores[index] >= minimumConfidence && object.classScores[index] >= best - hesitation) {
            observation.labels.push_back({animalLabels[index], object.classScores[index]});
        }
    }
    std::stable_sort(observation.labels.begin(), observation.labels.end(),
                     [](const AnimalLabel& first, const AnimalLabel& second) {
                         return first.confidence > second.confidence;
                     });
    observation.boundingBox = normalizedRectFromPixels(object.box.x, object.box.y, object.box.br().x,
                                                       object.box.br().y, size);
    return observation;
}

}  // namespace

PlatformOutcome<std::vector<AnimalObservation>> recognizeAnimals(const cv::Mat& rgb) {
    auto network = VisionNetworkStore::shared().network(cocoDetectorNetwork);
    if (!network) {
        return network.error();
    }
    std::vector<DetectedObject> found;
    for (const auto& view : viewsOf(rgb.size())) {
        for (auto& object : detectObjectsInView(*network.value(), rgb, view, animalClasses, minimumConfidence)) {
            const bool tile = view.region.size() != rgb.size();
            if (!tile || !cutByTile(object.box, view.region, rgb.size())) {
                found.push_back(std::move(object));
            }
        }
    }
    std::vector<AnimalObservation> animals;
    for (const auto& object : suppressedOverlaps(std::move(found), overlapLimit)) {
        // Another class that fits better (a bird, a horse, a bear) makes it
        // no cat or dog.
        if (object.bestScore() >= object.otherClassScore) {
            animals.push_back(observationOf(object, rgb.size()));
        }
    }
    return animals;
}

}  // namespace lumenary::platform::vision
