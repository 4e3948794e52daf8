#include "platform/vision/worker/hand_pose_detector.hpp"

#include <algorithm>

#include "platform/vision/worker/coco_object_detector.hpp"
#include "platform/vision/worker/hand_pose/animal_paw.hpp"
#include "platform/vision/worker/hand_pose/hand_pose_pipeline.hpp"
#include "platform/vision/worker/networks/vision_network_catalogue.hpp"

namespace lumenary::platform::vision {

namespace {

// Under this the detector's people and animals are mostly noise: on a
// close-up of fur it sees a person at 0.31, on a close-up of a hand the
// person at 0.5 or more.
constexpr float minimumBodyScore = 0.4F;

// The people and animals in the whole image, seen at two fills (an animal
// filling the frame is found at the smaller).
std::vector<SeenBody> seenBodies(VisionNetwork& network, const cv::Mat& rgb) {
    std::vector<int> classes = {cocoPersonClass};
    for (int animal = cocoFirstAnimalClass; animal <= cocoLastAnimalClass; ++animal) {
        classes.push_back(animal);
    }
    std::vector<SeenBody> bodies;
    for (const double fill : {1.0, 0.7}) {
        for (const auto& object :
             detectObjectsInView(network, rgb, {cv::Rect(0, 0, rgb.cols, rgb.rows), fill}, classes, minimumBodyScore)) {
            const auto best = std::max_element(object.classScores.begin(), object.classScores.end());
            if (best != object.classScores.end()) {
                const auto index = static_cast<std::size_t>(best - object.classScores.begin());
                bodies.push_back({object.box, classes[index] == cocoPersonClass});
            }
        }
    }
    return bodies;
}

}  // namespace

PlatformOutcome<std::vector<PoseObservation>> detectHandPoses(const cv::Mat& rgb) {
    auto& store = VisionNetworkStore::shared();
    auto palms = store.network(handDetectNetwork);
    if (!palms) {
        return palms.error();
    }
    auto landmarks = store.network(handLandmarkNetwork);
    if (!landmarks) {
        return landmarks.error();
    }
    auto hands = findHandPoses(rgb, *palms.value(), *landmarks.value());
    const bool unsure = std::any_of(hands.begin(), hands.end(),
                                    [](const PoseObservation& hand) { return hand.confidence < sureHandConfidence; });
    if (!unsure) {
        return hands;
    }
    auto detector = store.network(cocoDetectorNetwork);
    if (!detector) {
        return detector.error();
    }
    const auto bodies = seenBodies(*detector.value(), rgb);
    std::erase_if(hands, [&](const PoseObservation& hand) { return isAnAnimalsPaw(hand, rgb.size(), bodies); });
    return hands;
}

}  // namespace lumenary::platform::vision
