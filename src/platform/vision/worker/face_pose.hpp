#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace lumenary::platform::vision {

// The 68 landmark points of one face in image pixels (origin top left), in
// the usual order: jaw 0-16, brows 17-26, nose 27-35, the eye on the
// image's left (the subject's right) 36-41, the other eye 42-47, outer lips
// 48-59, inner lips 60-67.
inline constexpr std::size_t faceLandmarkCount = 68;

// How a face leans, in radians, from its landmarks. Absent for fewer than
// 68 points or a value that is not finite.
struct FacePose {
    // In the image plane, from the line through the eye centres: positive
    // when the face is turned counter-clockwise as the image is seen, so
    // that turning the image by -roll sets it upright.
    double roll = 0;
    // Out of the image plane, from where the nose tip sits between the
    // outer eye corners along the eye line: 0 facing the camera, positive
    // when the face turns towards the image's right side; a mirror image
    // gives the opposite sign. An estimate good to a few tenths.
    double yaw = 0;
};
std::optional<FacePose> facePose(const std::vector<cv::Point2f>& landmarks);

}  // namespace lumenary::platform::vision
