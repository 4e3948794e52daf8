#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/worker/test_images.hpp"

// Text on plain ground as people crop and capture it: single lines cut
// close to their ink, dialog-like screens with values in boxes, and signs
// inside frames. Each image comes with what a reader sees in it.
namespace lumenary::vision_test {

struct LabelledTextImage {
    std::string name;
    cv::Mat image;  // 8-bit RGB
    std::vector<std::string> lines;
};

// `image` (dark on light) cut to the box around its ink, with `margin`
// pixels of the ground around that box.
cv::Mat croppedToInk(const cv::Mat& image, int margin);
// `text` drawn dark on white in `face` at `pixelSize`, cut to its ink.
cv::Mat textCutToInk(const std::string& text, const FontFace& face, int pixelSize);
// Darkens `canvas` with `ink` (dark on white), its top left at `at`, in
// `colour`: each pixel takes the ink's coverage of that colour over the
// ground. Ink beyond the canvas is left out.
void drawInk(cv::Mat& canvas, const cv::Mat& ink, cv::Point at, cv::Scalar colour = {20, 20, 20});

// The faces of the sets below that are installed (DejaVu Sans, its bold,
// DejaVu Serif, DejaVu Sans Mono, Lato).
std::vector<std::pair<std::string, FontFace>> installedLatinFaces();

// Lines of a program's manual, each drawn in `face` at `pixelSize` and cut
// with a margin of `marginPerHeight` times the line's ink height (0: the
// ink reaches every edge).
std::vector<LabelledTextImage> closelyCroppedLines(const FontFace& face, int pixelSize, double marginPerHeight);

// A settings dialog of a desktop program: labels on a light grey ground,
// each beside an entry field or a spin box holding a short value (a digit,
// a number, a two-letter word). `lines` holds the values alone, in the
// order drawn. Seeds give different layouts, faces and values.
LabelledTextImage dialogScreen(unsigned seed);
// The same dialog as a screenshot of the whole desktop shows it: on a
// plain 1920x1080 screen.
LabelledTextImage dialogOnScreen(unsigned seed);

// A sign of one or two lines inside a frame drawn close around the text,
// on a plain plate or on a photo-like ground. `lines` holds the sign's
// words.
std::vector<LabelledTextImage> framedSigns();

// Monospace faces of Debian's font packages that the tests do not draw in
// (Liberation Mono, Noto Mono, Hack), those that are installed.
std::vector<std::pair<std::string, FontFace>> installedOtherMonospaceFaces();

// Header rows of Markdown tables (words between bars, no rule rows) and
// shell pipelines, each drawn in `face` at `pixelSize` with the
// rendering's usual margin, as codeLines draws its lines.
std::vector<LabelledTextImage> tableRowsAndPipelines(const FontFace& face, int pixelSize);

// Pieces of a scanned book page: a paragraph of four to six lines of a
// serif face in dark grey on an off-white ground that darkens unevenly and
// carries the scanner's noise, cut so that the first word stands at the
// very top left. `lines` holds the paragraph's lines.
std::vector<LabelledTextImage> bookPagePieces();

}  // namespace lumenary::vision_test
