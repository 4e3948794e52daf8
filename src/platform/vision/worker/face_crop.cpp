#include "platform/vision/worker/face_crop.hpp"

#include <algorithm>
#include <cmath>

namespace lumenary::platform::vision {

namespace {

constexpr double cropMargin = 0.2;

}  // namespace

std::optional<cv::Rect> faceCropRect(const NormalizedRect& box, cv::Size imageSize) {
    if (!std::isfinite(box.x) || !std::isfinite(box.y) || !std::isfinite(box.width) || !std::isfinite(box.height) ||
        imageSize.empty()) {
        return std::nullopt;
    }
    const double imageWidth = imageSize.width;
    const double imageHeight = imageSize.height;
    // From the lower-left origin of the box to the image's top-left one.
    const double x = box.x * imageWidth;
    const double y = (1.0 - (box.y + box.height)) * imageHeight;
    const double width = box.width * imageWidth;
    const double height = box.height * imageHeight;
    const double marginX = width * cropMargin;
    const double marginY = height * cropMargin;
    const double left = x - marginX;
    const double top = y - marginY;
    const double right = left + std::min(width + 2 * marginX, imageWidth - x + marginX);
    const double bottom = top + std::min(height + 2 * marginY, imageHeight - y + marginY);
    // Whole pixels covering the rectangle, then cut to the image; the
    // slack keeps a product like 0.1 x 1000 from reaching one pixel further.
    constexpr double slack = 1e-6;
    const double clippedLeft = std::clamp(std::floor(left + slack), 0.0, imageWidth);
    const double clippedTop = std::clamp(std::floor(top + slack), 0.0, imageHeight);
    const double clippedRight = std::clamp(std::ceil(right - slack), 0.0, imageWidth);
    const double clippedBottom = std::clamp(std::ceil(bottom - slack), 0.0, imageHeight);
    if (clippedRight <= clippedLeft || clippedBottom <= clippedTop) {
        return std::nullopt;
    }
    return cv::Rect(static_cast<int>(clippedLeft), static_cast<int>(clippedTop),
                    static_cast<int>(clippedRight - clippedLeft), static_cast<int>(clippedBottom - clippedTop));
}

}  // namespace lumenary::platform::vision
