#include "platform/vision/worker/text_line_crop.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

// The box's corners as top left, top right, bottom right, bottom left of
// the line it holds, read left to right.
std::array<cv::Point2f, 4> lineCorners(const cv::RotatedRect& box) {
    cv::Point2f corners[4];
    box.points(corners);
    std::array<cv::Point2f, 4> sorted{corners[0], corners[1], corners[2], corners[3]};
    std::sort(sorted.begin(), sorted.end(),
              [](const cv::Point2f& first, const cv::Point2f& second) { return first.x < second.x; });
    // The two leftmost corners, the upper first; then the two rightmost.
    const auto [topLeft, bottomLeft] =
        sorted[0].y <= sorted[1].y ? std::pair(sorted[0], sorted[1]) : std::pair(sorted[1], sorted[0]);
    const auto [topRight, bottomRight] =
        sorted[2].y <= sorted[3].y ? std::pair(sorted[2], sorted[3]) : std::pair(sorted[3], sorted[2]);
    return {topLeft, topRight, bottomRight, bottomLeft};
}

// The median shade of the line's outermost pixels: its ground, as the box
// holds the line with room around it.
int edgeShade(const cv::Mat& line) {
    std::vector<unsigned char> edge;
    for (int column = 0; column < line.cols; ++column) {
        edge.push_back(line.at<unsigned char>(0, column));
        edge.push_back(line.at<unsigned char>(line.rows - 1, column));
    }
    for (int row = 0; row < line.rows; ++row) {
        edge.push_back(line.at<unsigned char>(row, 0));
        edge.push_back(line.at<unsigned char>(row, line.cols - 1));
    }
    std::nth_element(edge.begin(), edge.begin() + static_cast<std::ptrdiff_t>(edge.size() / 2), edge.end());
    return edge[edge.size() / 2];
}

}  // namespace

cv::Mat uprightLine(const cv::Mat& grey, const cv::RotatedRect& box, int height, int longestWidth) {
    const auto corners = lineCorners(box);
    const double width = std::max(cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[3]));
    const double tall = std::max(cv::norm(corners[3] - corners[0]), cv::norm(corners[2] - corners[1]));
    if (width < 1 || tall < 1 || height < 1 || longestWidth < 1 ||
        (box.boundingRect() & cv::Rect(0, 0, grey.cols, grey.rows)).empty()) {
        return {};
    }
    const bool standing = tall >= 1.5 * width;
    const double lineWidth = standing ? tall : width;
    const double lineHeight = standing ? width : tall;
    const double scale = std::min(height / lineHeight, longestWidth / lineWidth);
    const cv::Size size(std::max(1, static_cast<int>(std::lround(width * scale))),
                        std::max(1, static_cast<int>(std::lround(tall * scale))));
    const std::array<cv::Point2f, 4> target{cv::Point2f(0, 0), cv::Point2f(static_cast<float>(size.width), 0),
                                            cv::Point2f(static_cast<float>(size.width), static_cast<float>(size.height)),
                                            cv::Point2f(0, static_cast<float>(size.height))};
    const cv::Mat transform = cv::getPerspectiveTransform(corners.data(), target.data());
    cv::Mat line;
    cv::warpPerspective(grey, line, transform, size, scale > 1 ? cv::INTER_CUBIC : cv::INTER_LINEAR,
                        cv::BORDER_REPLICATE);
    if (standing) {
        cv::rotate(line, line, cv::ROTATE_90_COUNTERCLOCKWISE);
    }
    const int margin = std::max(1, line.rows / 4);
    cv::Mat framed;
    cv::copyMakeBorder(line, framed, margin, margin, margin, margin, cv::BORDER_CONSTANT, cv::Scalar(edgeShade(line)));
    return framed;
}

}  // namespace lumenary::platform::vision
