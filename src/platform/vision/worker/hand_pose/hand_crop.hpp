#pragma once

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/vision/worker/hand_pose/palm_detection.hpp"

namespace lumenary::platform::vision {

// The square of the image the landmark network looks at for one palm: the
// palm's box moved half its height towards the fingers, made square on its
// longer side and enlarged 2.6 times so the whole hand fits, and turned so
// that the fingers point up (from the wrist to the middle finger's
// knuckle). In image pixels.
struct HandCrop {
    cv::Point2f centre;
    float side = 0;
    // The unit direction, in the image, of the crop's "up".
    cv::Point2f up{0, -1};
};

HandCrop handCropFor(const PalmDetection& palm);

// The affine map from the pixels of a `cropSide` x `cropSide` picture of
// the crop to image pixels: pass it to cv::warpAffine with
// cv::WARP_INVERSE_MAP to cut the crop out, or apply it to a point found in
// the crop to put it back into the image.
cv::Matx23d cropToImage(const HandCrop& crop, int cropSide);

cv::Point2d mappedPoint(const cv::Matx23d& transform, cv::Point2d point);

}  // namespace lumenary::platform::vision
