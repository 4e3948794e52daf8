#pragma once

#include <vector>

#include "platform/vision/worker/plain_ground_text.hpp"
#include "platform/vision/worker/test_images.hpp"

// Text as programs put it on screen around controls and in terminals, each
// image with what a reader sees in it.
namespace lumenary::vision_test {

// A dialog of a desktop program with its controls: grey spin boxes holding
// a lone digit beside their up and down arrows (in a button column of
// their own), fields holding sums of money, drop-downs with their arrow,
// radio buttons and check boxes before their labels, a section heading,
// and a row of push buttons with outlines. `lines` holds every text a
// reader sees (headings, labels, values, the buttons' labels) in the
// order drawn, top to bottom and left to right; the controls' outlines,
// arrows and marks are not text. Seeds give different layouts, faces and
// texts.
LabelledTextImage controlDialog(unsigned seed);

// Lines of programs and shell commands full of | [ ] { } (and ( ) " $),
// each drawn in `face` at `pixelSize` with the rendering's usual margin.
std::vector<LabelledTextImage> codeLines(const FontFace& face, int pixelSize);

// Headings in capitals (a licence's, a manual's), each drawn in `face` at
// `pixelSize` and cut exactly to its ink.
std::vector<LabelledTextImage> capitalHeadings(const FontFace& face, int pixelSize);

}  // namespace lumenary::vision_test
