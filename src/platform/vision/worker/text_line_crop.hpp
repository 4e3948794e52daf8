#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The line inside `box` (a rotated rectangle in `grey`'s pixels) cut out
// of the 8-bit grey image and turned upright: read along its longer side,
// the side that slopes least taken as its top, and a line standing more
// than half as tall again as it is wide turned a quarter to lie flat
// (unless `turn` is never). Scaled so that it is `height` px high, at most
// `longestWidth` px wide. The part of the box past the image's edge takes
// `ground` (the image's plain ground), else the median shade of that edge,
// and ink that is no glyph of the line (a
// frame's or a field's edge or outline, a rule) is painted over with the
// ground. Framed by a margin of a quarter of its height in the median
// shade of its edge, as the recogniser expects room around a line. Empty
// when the box lies outside the image or is less than a pixel wide, or
// holds no ink but a frame's.
enum class LineTurn { whenStanding, never };
cv::Mat uprightLine(const cv::Mat& grey, const cv::RotatedRect& box, int height, int longestWidth,
                    LineTurn turn = LineTurn::whenStanding, std::optional<int> ground = std::nullopt);

// `box` (a line found in `grey`, lying level on a plain ground) reaching
// on to a piece of ink beyond either end that stands wholly there, within
// the line's rows and no further than the line is high, that none of the
// image's other `lines` holds nor stands beyond: a bar set a space apart
// that the network leaves out of the line ("| top row"), an upright stroke
// a few pixels wide, about as tall as the line, that fills its own box.
// Any other glyph there (a digit in a table row's next cell) is not taken,
// nor is a frame's side, joined to its top and bottom along the line. A
// turned or standing box, a line on a photo, and a box with no part in
// the image are left as they are.
cv::RotatedRect withInkAtItsEnds(const cv::Mat& grey, const cv::RotatedRect& box,
                                 const std::vector<cv::RotatedRect>& lines);

// Whether a standing box may hold one glyph lying level rather than a
// line running down: it is less than three and a half times as tall as
// wide (a lone digit or letter in its box stands that tall, and so do
// lines of up to four square glyphs).
bool mayBeOneGlyph(const cv::RotatedRect& box);

}  // namespace lumenary::platform::vision
