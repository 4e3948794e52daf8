#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// A text line the detection network found: a rotated rectangle around it
// in the coordinates of the map it was decoded from, and the map's mean
// probability inside it (0 to 1).
struct DetectedTextLine {
    cv::RotatedRect box;
    float confidence = 0;
};

// The lines in a text-detection probability map (a 2-D float matrix, each
// value the probability that its pixel lies in the shrunk core of a text
// line, as a differentiable-binarisation network gives it): the map is cut
// at 0.3, each region's smallest rotated rectangle is kept when the mean
// probability inside it reaches `minimumConfidence`, and grown back by the
// margin the network was trained to shrink lines by (the rectangle's area
// times 1.5 over its perimeter on each side). Regions thinner than 3
// cells are noise; at most `mostLines` regions, the largest, are kept. Any
// other matrix gives no lines.
std::vector<DetectedTextLine> textLinesInProbabilityMap(const cv::Mat& probabilities, float minimumConfidence,
                                                        std::size_t mostLines);

// The lines in reading order: top to bottom by rows, a line sharing half
// its height with the row's first line belonging to that row, and left to
// right within a row.
std::vector<DetectedTextLine> inReadingOrder(std::vector<DetectedTextLine> lines);

// The lines in reading order with each run of pieces of one line joined
// into one: the network parts a line where its words lie a wide space
// apart ("Total amount: 1,250.00" and "EUR" in a monospaced face), and
// each piece read alone loses the line's order and its spaces. Two
// neighbours of a row are pieces of one line when both lie level (within
// 10 degrees), neither is more than half as high again as the other, and
// the gap between them is at most their height. The joined line's
// confidence is the lower of the two.
std::vector<DetectedTextLine> withPiecesJoined(const std::vector<DetectedTextLine>& ordered);

// The lines without those whose box lies mostly (six tenths of its area)
// inside a larger one's: the network finds a line's last glyph and a
// frame's end beside it once more on their own.
std::vector<DetectedTextLine> withoutLinesInsideOthers(const std::vector<DetectedTextLine>& lines);

// A character the network also saw at a step, and its probability there.
struct ReadAlternative {
    std::string character;
    float probability = 0;
};
inline constexpr float leastAlternativeProbability = 0.001F;
inline constexpr std::size_t mostAlternatives = 8;

// A line as the recognition network read it: its text and the mean
// probability of the characters kept (0 when none was).
struct NetworkLineText {
    std::string text;
    float confidence = 0;
    // Each character of the text, the step it was read at, and the
    // highest probability of a space at the steps since the character
    // before it.
    std::vector<std::string> characters;
    std::vector<int> steps;
    std::vector<float> spaceBefore;
    // Each character's probability at its step, and the other characters
    // the network saw there: the most probable first, each at least
    // `leastAlternativeProbability`, at most `mostAlternatives` of them.
    std::vector<float> probabilities;
    std::vector<std::vector<ReadAlternative>> alternatives;
};

// The text of a recognition network's output (a 2-D float matrix, a row of
// class probabilities per step along the line) by connectionist temporal
// classification, greedily: each step's most probable class, runs of one
// class read once, class 0 (no character) left out. `characters` names
// each class from 1 on; a class without a name, or a matrix of another
// shape or type, reads as nothing.
NetworkLineText ctcText(const cv::Mat& probabilities, const std::vector<std::string>& characters);

// The text with a space put between two characters where the network saw
// one but read the glyphs instead: the space's probability between them
// reached a hundredth (it stays under a thousandth between the glyphs of
// one word, 门口 and 3月12日 among them; a space between two square
// glyphs, or a square glyph and a Latin word, reaches 0.03 to 0.4), and
// the line's ink leaves a gap there of at least `widestGap` columns.
// `ink` is the line as the network read it (8-bit, any value above 0
// ink), `stepWidth` its columns per step. Marks (a character of the ASCII
// or full-width punctuation) never get a space beside them.
std::string withSpacesAtGaps(const NetworkLineText& read, const cv::Mat& ink, double stepWidth, int widestGap);

// The characters with a comma for each ideographic full stop (。) read
// between two square glyphs whose ink encloses no ground: the network
// reads a serif face's comma, a filled head with a tail, as 。 at up to
// 0.9, and only the full stop is a ring. The mark's ink is each piece of
// ink no higher than half of `glyphHeight` whose middle lies within half
// of it from the mark's step; a mark with no such piece stays as read.
// `ink` and `stepWidth` are as for withSpacesAtGaps.
std::vector<std::string> withCommasForFilledStops(const NetworkLineText& read, const cv::Mat& ink, double stepWidth,
                                                  int glyphHeight);

// Whether the line holds ink of a glyph the network read no character for
// (one outside its character list: 鼹, 毽): more than `glyphWidth` columns
// of ink before the first character's step or after the last one's, or
// more than one and a half times that between two characters' steps. A
// line read as nothing holds unread ink when it holds any.
bool holdsUnreadInk(const NetworkLineText& read, const cv::Mat& ink, double stepWidth, int glyphWidth);

}  // namespace lumenary::platform::vision
