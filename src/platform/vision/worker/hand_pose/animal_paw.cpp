#include "platform/vision/worker/hand_pose/animal_paw.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace lumenary::platform::vision {

namespace {

// How far a person's box is widened on each side, as a share of its size:
// the detector's box often stops at the shoulder of an arm held out.
constexpr float personReach = 0.25F;

// The box around the hand's located joints, in image pixels.
std::optional<cv::Rect2f> pixelJointBox(const PoseObservation& hand, cv::Size imageSize) {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    bool any = false;
    for (const auto& joint : hand.joints) {
        if (!joint.location) {
            continue;
        }
        const auto x = static_cast<float>(joint.location->x * imageSize.width);
        const auto y = static_cast<float>((1.0 - joint.location->y) * imageSize.height);
        if (!std::isfinite(x) || !std::isfinite(y)) {
            continue;
        }
        left = any ? std::min(left, x) : x;
        right = any ? std::max(right, x) : x;
        top = any ? std::min(top, y) : y;
        bottom = any ? std::max(bottom, y) : y;
        any = true;
    }
    if (!any) {
        return std::nullopt;
    }
    return cv::Rect2f(left, top, right - left, bottom - top);
}

cv::Rect2f widened(const cv::Rect2f& box, float share) {
    return {box.x - share * box.width, box.y - share * box.height, box.width * (1 + 2 * share),
            box.height * (1 + 2 * share)};
}

// Whether `outer` holds the point; a box without area holds nothing.
bool holds(const cv::Rect2f& outer, cv::Point2f point) {
    return outer.width > 0 && outer.height > 0 && point.x >= outer.x && point.x <= outer.x + outer.width &&
           point.y >= outer.y && point.y <= outer.y + outer.height;
}

bool reaches(const cv::Rect2f& person, const cv::Rect2f& hand) {
    const cv::Rect2f reach = widened(person, personReach);
    const bool overlapping = reach.x <= hand.x + hand.width && hand.x <= reach.x + reach.width &&
                             reach.y <= hand.y + hand.height && hand.y <= reach.y + reach.height;
    return reach.width > 0 && reach.height > 0 && overlapping;
}

}  // namespace

bool isAnAnimalsPaw(const PoseObservation& hand, cv::Size imageSize, std::span<const SeenBody> bodies) {
    if (hand.confidence >= sureHandConfidence) {
        return false;
    }
    const auto box = pixelJointBox(hand, imageSize);
    if (!box) {
        return false;
    }
    const cv::Point2f centre(box->x + box->width / 2, box->y + box->height / 2);
    const bool onAnAnimal = std::any_of(bodies.begin(), bodies.end(), [&](const SeenBody& body) {
        return !body.person && holds(body.box, centre);
    });
    const bool nearAPerson = std::any_of(bodies.begin(), bodies.end(), [&](const SeenBody& body) {
        return body.person && reaches(body.box, *box);
    });
    return onAnAnimal && !nearAPerson;
}

}  // namespace lumenary::platform::vision
