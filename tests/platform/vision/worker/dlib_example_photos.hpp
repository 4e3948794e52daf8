#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// Real photos that the face library's documentation package (libdlib19.1,
// pulled in by libdlib-dev) ships with its examples. A missing file throws
// an error naming the package: the face tests fail, never skip.
namespace lumenary::vision_test {

// A photo with the faces a person marked in it (pixels, origin top left).
struct AnnotatedPhoto {
    std::filesystem::path path;
    std::vector<cv::Rect> faces;
};
// The nine marked photos (43 faces of 37 to 109 px).
std::vector<AnnotatedPhoto> annotatedFacePhotos();

// Eleven 150 x 150 photos each of five people, by name.
std::map<std::string, std::vector<std::filesystem::path>> identityPhotos();

// The photo as 8-bit RGB.
cv::Mat photo(const std::filesystem::path& path);

}  // namespace lumenary::vision_test
