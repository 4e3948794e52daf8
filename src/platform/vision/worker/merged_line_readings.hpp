#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// One word of a line's reading and where it lies in the image's pixels.
struct ReadWord {
    std::string text;
    float confidence = 0;  // 0 to 1
    cv::Rect2f box;
    // One of the recogniser's dictionary words, which it rarely makes up.
    bool dictionary = false;
};

// One line as a reading found it: its box in the image's pixels, its text
// and confidence, and its words where the recogniser gave them (a line
// read by the recognition network has none).
struct ReadLine {
    cv::Rect2f box;
    std::string text;
    float confidence = 0;  // 0 to 1
    std::vector<ReadWord> words;
};

// Two readings of one image on a plain ground, the lines the detection
// network found and those the layout analysis found, as one: lines of the
// two that share their rows and overlap are one place, and each place
// keeps the reading whose words the recogniser is surer of (weighed by
// their confidence, up where it knows the word, down where a frame's mark
// is glued to its end; a line of prose keeps the layout's where it is as
// sure), with the words the other reading found where the kept one has
// nothing like them in their order (a lone digit in a field beside its
// label): each word of the image is written once, and lines that share
// rows are not woven together. A place only one reading found keeps it,
// but for its lines of frame marks or of words the recogniser is unsure
// of. Lines come in reading order: top to bottom, and left to right within
// shared rows. Lines whose boxes have no size, or are not finite, are left
// out.
std::vector<ReadLine> mergedLineReadings(const std::vector<ReadLine>& detected, const std::vector<ReadLine>& laidOut);

}  // namespace lumenary::platform::vision
