#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/worker/test_images.hpp"

// Photos with text in them, made from packaged photos: signs, labels,
// screens, receipts and covers drawn onto them, turned, leaned in
// perspective and set among clutter, each with the words a reader sees.
namespace lumenary::vision_test {

struct SignDesign {
    std::vector<std::string> lines;
    FontFace font;
    int pixelSize = 48;
    cv::Scalar ink{20, 20, 20};    // RGB
    cv::Scalar plate{245, 245, 240};  // RGB
    double degrees = 0;  // turned counter-clockwise
    double lean = 0;     // how much narrower the sign's far side is, 0 to 0.5
    cv::Point2d centre{0.5, 0.5};  // where on the photo, as fractions of its sides
    bool clutter = false;          // lines, boxes and discs scattered around it
};

// `photo` (8-bit RGB) with the sign drawn on it.
cv::Mat photoWithSign(const cv::Mat& photo, const SignDesign& sign, unsigned seed);

struct LabelledTextPhoto {
    std::string name;
    cv::Mat image;
    std::vector<std::string> lines;
    std::vector<std::string> languages;
};

// The labelled set: signs, labels, screens, receipts and covers in Latin
// and Chinese script on the packaged photos (a photo that is not installed
// is left out, and named in `missing`).
std::vector<LabelledTextPhoto> labelledTextPhotos(std::vector<std::string>* missing);

// Signs on the packaged photos with a frame drawn close around their text
// (a tenth to a third of the text's height away, 2 to 6 px thick, some
// doubled, some with rounded corners), some turned a few degrees or
// leaned, at 28 to 64 px. `lines` holds the sign's lines; the frame is not
// text.
std::vector<LabelledTextPhoto> framedSignsOnPhotos(std::vector<std::string>* missing);

// The words of a text: split at white space, with marks at either end of a
// word left out, lower case; each Han character counts as a word.
std::vector<std::string> wordsOf(const std::string& text);

// How many of `expected`'s words `read` holds, each counted at most as
// often as it appears in both.
int wordsInCommon(const std::vector<std::string>& expected, const std::vector<std::string>& read);

}  // namespace lumenary::vision_test
