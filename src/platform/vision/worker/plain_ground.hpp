#pragma once

#include <optional>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The plain ground an 8-bit RGB image of a page, a screen or a line cut
// out of them has at its edge (RGB): the edge's median colour when most of
// its pixels lie within 24 shades of it, or the image's own median colour
// when the image is two shades, ground and ink, over half of it ground,
// and its edge is mostly one or the other (text cut to its ink), or the
// edge's commonest colour, where it covers nearly a third of the edge and
// four in five of about 40,000 pixels sampled are flat among their
// neighbours (a screen whose edge crosses a highlighted row). None for a
// photo.
std::optional<cv::Scalar> plainGroundColour(const cv::Mat& rgb);

// The part of an image on a plain `ground` that holds all of what is not
// that ground (more than 24 shades from it), with up to 16 px of ground
// around it, where that part covers at most half the image (a dialog on
// an empty desktop); none where it covers more, or nothing differs.
std::optional<cv::Rect> smallPlainContent(const cv::Mat& rgb, const cv::Scalar& ground);

}  // namespace lumenary::platform::vision
