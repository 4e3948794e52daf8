#include "platform/vision/worker/normalized_rect_from_pixels.hpp"

#include <algorithm>

namespace lumenary::platform::vision {

NormalizedRect normalizedRectFromPixels(double left, double top, double right, double bottom, cv::Size imageSize) {
    const double width = imageSize.width;
    const double height = imageSize.height;
    const double clampedLeft = std::clamp(left, 0.0, width);
    const double clampedRight = std::clamp(right, clampedLeft, width);
    const double clampedTop = std::clamp(top, 0.0, height);
    const double clampedBottom = std::clamp(bottom, clampedTop, height);
    return {.x = clampedLeft / width,
            .y = (height - clampedBottom) / height,
            .width = (clampedRight - clampedLeft) / width,
            .height = (clampedBottom - clampedTop) / height};
}

}  // namespace lumenary::platform::vision
