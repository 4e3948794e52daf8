#include "platform/vision/worker/hand_pose/palm_detection.hpp"

#include <algorithm>
#include <cmath>

namespace lumenary::platform::vision {

namespace {

struct PalmAnchorLayer {
    int grid = 0;
    int anchorsPerCell = 0;
};

// Strides 8, 16 and 32 of the 256-pixel input; the last grid carries the
// anchors of three detector layers of the same size.
constexpr PalmAnchorLayer palmAnchorLayers[] = {{32, 2}, {16, 2}, {8, 6}};

float palmScore(float logit) {
    // Far enough out that the exponential neither overflows nor matters.
    const float bounded = std::clamp(logit, -80.0F, 80.0F);
    return 1.0F / (1.0F + std::exp(-bounded));
}

float overlap(const cv::Rect2f& first, const cv::Rect2f& second) {
    const float shared = (first & second).area();
    const float joined = first.area() + second.area() - shared;
    return joined > 0 ? shared / joined : 0.0F;
}

}  // namespace

const std::vector<cv::Point2f>& palmAnchors() {
    static const std::vector<cv::Point2f> anchors = [] {
        std::vector<cv::Point2f> centres;
        centres.reserve(palmAnchorCount);
        for (const auto& layer : palmAnchorLayers) {
            const float cell = static_cast<float>(palmInputSide) / static_cast<float>(layer.grid);
            for (int y = 0; y < layer.grid; ++y) {
                for (int x = 0; x < layer.grid; ++x) {
                    for (int anchor = 0; anchor < layer.anchorsPerCell; ++anchor) {
                        centres.emplace_back((static_cast<float>(x) + 0.5F) * cell,
                                             (static_cast<float>(y) + 0.5F) * cell);
                    }
                }
            }
        }
        return centres;
    }();
    return anchors;
}

std::vector<PalmDetection> decodePalmDetections(std::span<const float> rows, const PalmInputPlacement& placement,
                                                float minimumScore) {
    std::vector<PalmDetection> palms;
    if (rows.size() < palmAnchorCount * palmRowLength || !(placement.scale > 0)) {
        return palms;
    }
    const auto& anchors = palmAnchors();
    const auto toImage = [&](cv::Point2f input) { return (input - placement.offset) / placement.scale; };
    for (std::size_t index = 0; index < palmAnchorCount; ++index) {
        const float* row = rows.data() + index * palmRowLength;
        const float score = palmScore(row[0]);
        // Written so that a NaN score fails the test too.
        if (!(score >= minimumScore)) {
            continue;
        }
        const cv::Point2f anchor = anchors[index];
        const float width = row[3] / placement.scale;
        const float height = row[4] / placement.scale;
        const cv::Point2f centre = toImage(anchor + cv::Point2f(row[1], row[2]));
        if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height) ||
            !std::isfinite(centre.x) || !std::isfinite(centre.y)) {
            continue;
        }
        PalmDetection palm;
        palm.score = score;
        palm.box = cv::Rect2f(centre.x - width / 2, centre.y - height / 2, width, height);
        for (std::size_t keypoint = 0; keypoint < palmKeypointCount; ++keypoint) {
            palm.keypoints[keypoint] = toImage(anchor + cv::Point2f(row[5 + 2 * keypoint], row[6 + 2 * keypoint]));
        }
        palms.push_back(palm);
    }
    return palms;
}

std::vector<PalmDetection> strongestSeparatePalms(std::vector<PalmDetection> palms, float maximumOverlap,
                                                  std::size_t maximumCount) {
    std::stable_sort(palms.begin(), palms.end(),
                     [](const PalmDetection& first, const PalmDetection& second) { return first.score > second.score; });
    std::vector<PalmDetection> kept;
    for (const auto& palm : palms) {
        if (kept.size() >= maximumCount) {
            break;
        }
        const bool separate = std::none_of(kept.begin(), kept.end(), [&](const PalmDetection& better) {
            return overlap(better.box, palm.box) > maximumOverlap;
        });
        if (separate) {
            kept.push_back(palm);
        }
    }
    return kept;
}

}  // namespace lumenary::platform::vision
