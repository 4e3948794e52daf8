#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// One object the COCO detector found: the box in the network input's pixels
// and the score of each asked-for class, in the order they were asked for.
struct DetectedObject {
    cv::Rect2f box;
    std::vector<float> classScores;
    // The best score among the classes not asked for, at the same place.
    float otherClassScore = 0;

    float bestScore() const;
};

// The objects in the outputs of NanoDet-m (80 COCO classes, generalized
// focal loss head): one N x 124 x H x W output per stride (input side / H),
// each cell holding 80 class logits, then four distance distributions (left,
// top, right, bottom) of 11 bins each, in strides from the cell's centre.
// A cell yields an object when one of `classes` (COCO indices: 15 cat,
// 16 dog) scores at least `minimumScore`. Outputs of any other shape are
// skipped. No suppression of overlapping boxes.
std::vector<DetectedObject> nanodetObjects(const std::vector<cv::Mat>& outputs, int inputSide,
                                           const std::vector<int>& classes, float minimumScore);

// The objects with every object dropped that overlaps a better one (IoU
// above `overlap`, or lying mostly inside it); a dropped object's class
// scores (the other classes' too) raise the kept one's where higher. Best
// first.
std::vector<DetectedObject> suppressedOverlaps(std::vector<DetectedObject> objects, float overlap);

}  // namespace lumenary::platform::vision
