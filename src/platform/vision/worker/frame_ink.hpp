#pragma once

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The ground of a line's 8-bit grey cut (upright, with half a line of room
// above and below it), given the median shade of the cut's edge: where
// the line stands on a plate of another shade (a sign on a photo: the
// shade more of the line's own rows show than any other, around them and along most of
// the line), that plate's shade, with everything beyond the plate (a
// sign's frame and its rounded corners, the photo around it) painted over
// with it; else `edgeGround` (a page, a screen, text on a photo itself).
// `onPhoto` when the image has no plain ground: there a plate framed on
// every side inside the cut is taken even when the edge's median matches
// its shade by chance, and the blend of its frame into it is painted too.
int paintBeyondPlate(cv::Mat& line, int edgeGround, bool onPhoto);

// Paints over, with `ground`, the ink in a line's 8-bit grey cut (upright,
// with half a line of room above and below it) that is no glyph of the
// line but that the recogniser reads as a mark ([, |, I, 「, ¢, >) or that
// keeps it from reading the glyphs at all:
// - a piece crossing the whole cut from top to bottom (a frame's or a
//   field's side, a sign's edge, a photo's texture) that is a bar, at most
//   half as wide as the cut is high, or an outline, its ink over at most a
//   third of its box;
// - a piece crossing it from end to end that is a bar at most a quarter of
//   its height high or such an outline (a rule, a frame's slanting top);
// - the outline of a field or a box around glyphs, whole or open at an
//   end: nearly all of its ink along the sides of the smallest rectangle
//   around it (turned as it lies), another piece inside, and that
//   rectangle half as long again as high, or the piece running past the
//   cut's end and taller than the line's own rows and a tenth of the
//   room, as no glyph does (an enclosure, 囗 in 国, is about as long as
//   high; a word joined by its headline has ink inside);
// - a spin box's or a drop-down's arrow at either end of the line: a
//   filled triangle on a level base with its tip above or below the
//   base's middle (or turned a quarter), no glyph beyond it.
// Ink is what stands more than 56 shades from the ground (a button's face
// or a field's fill stands less).
// Whether ink of a glyph is left in the line's own rows (the middle half),
// or the cut holds no ink to judge.
bool paintOverFrameInk(cv::Mat& line, int ground);

}  // namespace lumenary::platform::vision
