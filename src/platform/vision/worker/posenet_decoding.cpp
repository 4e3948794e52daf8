#include "platform/vision/worker/posenet_decoding.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace lumenary::platform::vision {

namespace {

constexpr int edgeCount = 16;
// The skeleton's edges, parent then child, in PoseNet's order.
constexpr std::array<std::pair<int, int>, edgeCount> skeleton = {{{0, 1},
                                                                  {1, 3},
                                                                  {0, 2},
                                                                  {2, 4},
                                                                  {0, 5},
                                                                  {5, 7},
                                                                  {7, 9},
                                                                  {5, 11},
                                                                  {11, 13},
                                                                  {13, 15},
                                                                  {0, 6},
                                                                  {6, 8},
                                                                  {8, 10},
                                                                  {6, 12},
                                                                  {12, 14},
                                                                  {14, 16}}};

float keypointScore(float logit) {
    return 1.0f / (1.0f + std::exp(-logit));
}

// The four outputs as planes, checked for shape.
class Outputs {
public:
    static std::optional<Outputs> of(const std::vector<cv::Mat>& outputs) {
        if (outputs.size() != 4) {
            return std::nullopt;
        }
        const int channels[] = {posenetKeypointCount, 2 * posenetKeypointCount, 2 * edgeCount, 2 * edgeCount};
        const int height = outputs[0].dims == 4 ? outputs[0].size[2] : 0;
        const int width = outputs[0].dims == 4 ? outputs[0].size[3] : 0;
        for (std::size_t index = 0; index < 4; ++index) {
            const auto& output = outputs[index];
            if (output.dims != 4 || output.size[0] != 1 || output.size[1] != channels[index] ||
                output.size[2] != height || output.size[3] != width || output.type() != CV_32F ||
                !output.isContinuous() || height <= 0 || width <= 0) {
                return std::nullopt;
            }
        }
        return Outputs(outputs, height, width);
    }

    int height() const { return height_; }
    int width() const { return width_; }
    float score(int keypoint, int row, int column) const { return scores_[index(keypoint, row, column)]; }
    cv::Point2f offset(int keypoint, int row, int column) const {
        return {at(1, keypoint + posenetKeypointCount, row, column), at(1, keypoint, row, column)};
    }
    cv::Point2f displacement(bool forward, int edge, int row, int column) const {
        const int output = forward ? 2 : 3;
        return {at(output, edge + edgeCount, row, column), at(output, edge, row, column)};
    }

private:
    Outputs(const std::vector<cv::Mat>& outputs, int height, int width)
        : outputs_(outputs), height_(height), width_(width) {
        const float* logits = outputs[0].ptr<float>();
        scores_.resize(outputs[0].total());
        for (std::size_t cell = 0; cell < scores_.size(); ++cell) {
            scores_[cell] = keypointScore(logits[cell]);
        }
    }
    std::size_t index(int channel, int row, int column) const {
        return (static_cast<std::size_t>(channel) * static_cast<std::size_t>(height_) + static_cast<std::size_t>(row)) *
                   static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(column);
    }
    float at(int output, int channel, int row, int column) const {
        return outputs_[static_cast<std::size_t>(output)].ptr<float>()[index(channel, row, column)];
    }

    const std::vector<cv::Mat>& outputs_;
    int height_;
    int width_;
    std::vector<float> scores_;
};

struct Cell {
    int row = 0;
    int column = 0;
};

Cell nearestCell(cv::Point2f point, const Outputs& outputs, int stride) {
    const auto clamp = [](float value, int size) {
        return std::clamp(static_cast<int>(std::lround(value)), 0, size - 1);
    };
    return {clamp(point.y / static_cast<float>(stride), outputs.height()),
            clamp(point.x / static_cast<float>(stride), outputs.width())};
}

PosenetKeypoint keypointAt(int keypoint, Cell cell, const Outputs& outputs, int stride) {
    const auto offset = outputs.offset(keypoint, cell.row, cell.column);
    return {{static_cast<float>(cell.column * stride) + offset.x, static_cast<float>(cell.row * stride) + offset.y},
            outputs.score(keypoint, cell.row, cell.column)};
}

// The target keypoint of an edge, from its source keypoint.
PosenetKeypoint followEdge(int edge, bool forward, const PosenetKeypoint& source, int target, const Outputs& outputs,
                           int stride) {
    const Cell sourceCell = nearestCell(source.position, outputs, stride);
    cv::Point2f point = source.position + outputs.displacement(forward, edge, sourceCell.row, sourceCell.column);
    for (int refinement = 0; refinement < 2; ++refinement) {
        point = keypointAt(target, nearestCell(point, outputs, stride), outputs, stride).position;
    }
    const Cell targetCell = nearestCell(point, outputs, stride);
    return {point, outputs.score(target, targetCell.row, targetCell.column)};
}

bool near(cv::Point2f first, cv::Point2f second, float radius) {
    const cv::Point2f difference = first - second;
    return difference.dot(difference) <= radius * radius;
}

bool heldByAnotherPose(const std::vector<PosenetPose>& poses, int keypoint, cv::Point2f position, float radius) {
    return std::any_of(poses.begin(), poses.end(), [&](const PosenetPose& pose) {
        return near(pose.keypoints[static_cast<std::size_t>(keypoint)].position, position, radius);
    });
}

struct Root {
    float score = 0;
    int keypoint = 0;
    Cell cell;
};

std::vector<Root> rootCandidates(const Outputs& outputs, float threshold) {
    std::vector<Root> roots;
    for (int keypoint = 0; keypoint < posenetKeypointCount; ++keypoint) {
        for (int row = 0; row < outputs.height(); ++row) {
            for (int column = 0; column < outputs.width(); ++column) {
                const float score = outputs.score(keypoint, row, column);
                if (score < threshold) {
                    continue;
                }
                bool best = true;
                for (int y = std::max(0, row - 1); best && y <= std::min(outputs.height() - 1, row + 1); ++y) {
                    for (int x = std::max(0, column - 1); x <= std::min(outputs.width() - 1, column + 1); ++x) {
                        if (outputs.score(keypoint, y, x) > score) {
                            best = false;
                            break;
                        }
                    }
                }
                if (best) {
                    roots.push_back({score, keypoint, {row, column}});
                }
            }
        }
    }
    std::stable_sort(roots.begin(), roots.end(), [](const Root& first, const Root& second) {
        return first.score > second.score;
    });
    return roots;
}

PosenetPose poseFrom(const Root& root, const Outputs& outputs, int stride) {
    std::array<std::optional<PosenetKeypoint>, posenetKeypointCount> found;
    found[static_cast<std::size_t>(root.keypoint)] = PosenetKeypoint{
        keypointAt(root.keypoint, root.cell, outputs, stride).position, root.score};
    for (int edge = edgeCount - 1; edge >= 0; --edge) {
        const auto [parent, child] = skeleton[static_cast<std::size_t>(edge)];
        if (found[static_cast<std::size_t>(child)] && !found[static_cast<std::size_t>(parent)]) {
            found[static_cast<std::size_t>(parent)] =
                followEdge(edge, false, *found[static_cast<std::size_t>(child)], parent, outputs, stride);
        }
    }
    for (int edge = 0; edge < edgeCount; ++edge) {
        const auto [parent, child] = skeleton[static_cast<std::size_t>(edge)];
        if (found[static_cast<std::size_t>(parent)] && !found[static_cast<std::size_t>(child)]) {
            found[static_cast<std::size_t>(child)] =
                followEdge(edge, true, *found[static_cast<std::size_t>(parent)], child, outputs, stride);
        }
    }
    PosenetPose pose;
    for (std::size_t keypoint = 0; keypoint < found.size(); ++keypoint) {
        pose.keypoints[keypoint] = found[keypoint].value_or(PosenetKeypoint{});
    }
    return pose;
}

}  // namespace

std::vector<PosenetPose> posenetPoses(const std::vector<cv::Mat>& outputs, const PosenetDecoding& decoding) {
    const auto planes = Outputs::of(outputs);
    if (!planes) {
        return {};
    }
    std::vector<PosenetPose> poses;
    for (const auto& root : rootCandidates(*planes, decoding.rootThreshold)) {
        if (static_cast<int>(poses.size()) >= decoding.maximumPoses) {
            break;
        }
        const auto position = keypointAt(root.keypoint, root.cell, *planes, decoding.outputStride).position;
        if (heldByAnotherPose(poses, root.keypoint, position, decoding.suppressionRadius)) {
            continue;
        }
        auto pose = poseFrom(root, *planes, decoding.outputStride);
        float total = 0;
        for (int keypoint = 0; keypoint < posenetKeypointCount; ++keypoint) {
            const auto& found = pose.keypoints[static_cast<std::size_t>(keypoint)];
            if (!heldByAnotherPose(poses, keypoint, found.position, decoding.suppressionRadius)) {
                total += found.score;
            }
        }
        pose.score = total / static_cast<float>(posenetKeypointCount);
        poses.push_back(pose);
    }
    return poses;
}

}  // namespace lumenary::platform::vision
