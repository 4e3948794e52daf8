#include "platform/vision/worker/text_line_crop.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "platform/vision/worker/frame_ink.hpp"

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

// The shades of an 8-bit grey image's outermost pixels.
std::vector<unsigned char> edgeShades(const cv::Mat& grey) {
    std::vector<unsigned char> edge;
    for (int column = 0; column < grey.cols; ++column) {
        edge.push_back(grey.at<unsigned char>(0, column));
        edge.push_back(grey.at<unsigned char>(grey.rows - 1, column));
    }
    for (int row = 0; row < grey.rows; ++row) {
        edge.push_back(grey.at<unsigned char>(row, 0));
        edge.push_back(grey.at<unsigned char>(row, grey.cols - 1));
    }
    return edge;
}

// The median shade of the line's outermost pixels: its ground, as the box
// holds the line with room around it.
int edgeShade(const cv::Mat& line) {
    std::vector<unsigned char> edge = edgeShades(line);
    std::nth_element(edge.begin(), edge.begin() + static_cast<std::ptrdiff_t>(edge.size() / 2), edge.end());
    return edge[edge.size() / 2];
}

// Whether the part of `grey` that `transform` maps onto a cut of `size`
// reaches past the image's edge, or within the few pixels the
// interpolation reads beside a point.
bool reachesPastTheImage(const cv::Mat& grey, const cv::Mat& transform, cv::Size size) {
    const auto width = static_cast<float>(size.width);
    const auto height = static_cast<float>(size.height);
    std::vector<cv::Point2f> inImage;
    cv::perspectiveTransform(std::vector<cv::Point2f>{{0, 0}, {width, 0}, {width, height}, {0, height}}, inImage,
                             transform.inv());
    // Whole pixels around the corners, and the interpolation's reach.
    constexpr int interpolationReach = 2;
    const cv::Rect reach = cv::boundingRect(inImage);
    return reach.x < interpolationReach || reach.y < interpolationReach ||
           reach.br().x > grey.cols - interpolationReach || reach.br().y > grey.rows - interpolationReach;
}

// The box's width and height as it lies, read left to right.
std::pair<double, double> sidesAsItLies(const std::array<cv::Point2f, 4>& corners) {
    return {std::max(cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[3])),
            std::max(cv::norm(corners[3] - corners[0]), cv::norm(corners[2] - corners[1]))};
}

bool standsUp(double width, double tall) {
    return tall >= 1.5 * width;
}

}  // namespace

cv::RotatedRect withInkAtItsEnds(const cv::Mat& grey, const cv::RotatedRect& box,
                                 const std::vector<cv::RotatedRect>& lines) {
    constexpr double mostTurn = 5;
    constexpr double leastInkContrast = 56;
    constexpr int plainShades = 24;
    constexpr double solidInk = 150;
    const auto corners = lineCorners(box);
    const auto [width, tall] = sidesAsItLies(corners);
    const double turn = std::abs(std::atan2(corners[1].y - corners[0].y, corners[1].x - corners[0].x)) * 180 / CV_PI;
    if (grey.empty() || tall < 1 || standsUp(width, tall) || turn > mostTurn) {
        return box;
    }
    const cv::Rect line = box.boundingRect();
    const int height = line.height;
    const cv::Rect around =
        cv::Rect(line.x - height, line.y - height / 2, line.width + 2 * height, line.height + height) &
        cv::Rect(0, 0, grey.cols, grey.rows);
    if (around.empty()) {
        return box;
    }
    // The ground the line itself stands on (a sign's plate on a photo). A
    // box just past the image's edge has room around it in the image but
    // no ground of its own there.
    const cv::Rect ownPart = line & around;
    if (ownPart.empty()) {
        return box;
    }
    std::vector<unsigned char> shades;
    const cv::Mat own = grey(ownPart);
    for (int row = 0; row < own.rows; ++row) {
        shades.insert(shades.end(), own.ptr<unsigned char>(row), own.ptr<unsigned char>(row) + own.cols);
    }
    std::nth_element(shades.begin(), shades.begin() + static_cast<std::ptrdiff_t>(shades.size() / 2), shades.end());
    const int ground = shades[shades.size() / 2];
    const cv::Mat part = grey(around);
    // Only on a plain ground: a photo's texture beside a sign is no glyph.
    const std::vector<unsigned char> edge = edgeShades(part);
    const auto plainEdge = std::count_if(edge.begin(), edge.end(),
                                         [ground](unsigned char shade) { return std::abs(shade - ground) <= plainShades; });
    if (10 * static_cast<std::size_t>(plainEdge) < 6 * edge.size()) {
        return box;
    }
    cv::Mat difference;
    cv::absdiff(part, cv::Scalar(ground), difference);
    cv::Mat ink;
    cv::threshold(difference, ink, leastInkContrast, 255, cv::THRESH_BINARY);
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    const int slack = std::max(1, height / 6);
    std::vector<cv::Point2f> reach(corners.begin(), corners.end());
    for (int label = 1; label < count; ++label) {
        const cv::Rect piece(stats.at<int>(label, cv::CC_STAT_LEFT) + around.x,
                             stats.at<int>(label, cv::CC_STAT_TOP) + around.y, stats.at<int>(label, cv::CC_STAT_WIDTH),
                             stats.at<int>(label, cv::CC_STAT_HEIGHT));
        // Wholly beyond an end, and not running on past what is looked at
        // (a rule, a photo's edge).
        const bool beyond = (piece.br().x <= line.x || piece.x >= line.br().x) && piece.x > around.x &&
                            piece.br().x < around.br().x;
        const bool inRows = piece.y >= line.y - slack && piece.br().y <= line.br().y + slack;
        // Only a bar: an upright stroke a few pixels wide that stands about
        // as tall as the line and fills its own box. A glyph beyond the
        // line's end (a digit in the next cell of a table's row) is another
        // line's, or none the detector saw as text; and a speck or a stop
        // is no glyph at all.
        const bool narrow = piece.width <= std::max(2, height / 4);
        const bool barHigh = 3 * piece.height >= 2 * height;
        const bool filled = 4 * stats.at<int>(label, cv::CC_STAT_AREA) >= 3 * piece.area();
        // A glyph's stroke is solid ink (a bar 2 px wide at 16 px stands
        // 170 shades or more from the ground); a sliver of a leaning
        // frame's smoothed edge is not.
        const cv::Rect inPart = piece - around.tl();
        const bool solid = cv::mean(difference(inPart), labels(inPart) == label)[0] >= solidInk;
        // Ink another line holds is read with that line.
        const cv::Point2f middle(static_cast<float>(piece.x) + static_cast<float>(piece.width) / 2,
                                 static_cast<float>(piece.y) + static_cast<float>(piece.height) / 2);
        // Ink between two pieces of a line that the network parted is the
        // other piece's as much as this one's: it is left to both.
        const cv::Rect reachBeyond(piece.x - 2 * height, line.y, piece.width + 4 * height, line.height);
        const bool another = std::any_of(lines.begin(), lines.end(), [&](const cv::RotatedRect& other) {
            if (other.center == box.center) {
                return false;
            }
            std::vector<cv::Point2f> otherCorners(4);
            other.points(otherCorners.data());
            return cv::pointPolygonTest(otherCorners, middle, false) >= 0 ||
                   (other.boundingRect() & reachBeyond).area() > 0;
        });
        if (beyond && inRows && narrow && barHigh && filled && solid && !another) {
            reach.emplace_back(static_cast<float>(piece.x), static_cast<float>(piece.y));
            reach.emplace_back(static_cast<float>(piece.br().x), static_cast<float>(piece.br().y));
        }
    }
    if (reach.size() == corners.size()) {
        return box;
    }
    // Across the line, the box stays as the network found it.
    const cv::RotatedRect reaching = cv::minAreaRect(reach);
    const bool wide = reaching.size.width >= reaching.size.height;
    cv::RotatedRect kept = reaching;
    (wide ? kept.size.height : kept.size.width) = static_cast<float>(tall);
    return kept;
}

bool mayBeOneGlyph(const cv::RotatedRect& box) {
    const auto [width, tall] = sidesAsItLies(lineCorners(box));
    return standsUp(width, tall) && tall < 3.5 * width;
}

cv::Mat uprightLine(const cv::Mat& grey, const cv::RotatedRect& box, int height, int longestWidth, LineTurn turn,
                    std::optional<int> ground) {
    const auto corners = lineCorners(box);
    const auto [width, tall] = sidesAsItLies(corners);
    if (width < 1 || tall < 1 || height < 1 || longestWidth < 1 ||
        (box.boundingRect() & cv::Rect(0, 0, grey.cols, grey.rows)).empty()) {
        return {};
    }
    const bool standing = turn == LineTurn::whenStanding && standsUp(width, tall);
    const double lineWidth = standing ? tall : width;
    const double lineHeight = standing ? width : tall;
    const double scale = std::min(height / lineHeight, longestWidth / lineWidth);
    const cv::Size size(std::max(1, static_cast<int>(std::lround(width * scale))),
                        std::max(1, static_cast<int>(std::lround(tall * scale))));
    // Half a line of room is cut out on either side across the line, so
    // that a frame's edge shows that it runs on past the line where a
    // glyph's stroke that touches the box does not; the line is cut out
    // of it once such ink is painted over.
    const int room = std::max(2, static_cast<int>(std::lround(lineHeight * scale / 2)));
    const cv::Point2f shift(standing ? static_cast<float>(room) : 0, standing ? 0 : static_cast<float>(room));
    const std::array<cv::Point2f, 4> target{
        shift, shift + cv::Point2f(static_cast<float>(size.width), 0),
        shift + cv::Point2f(static_cast<float>(size.width), static_cast<float>(size.height)),
        shift + cv::Point2f(0, static_cast<float>(size.height))};
    const cv::Mat transform = cv::getPerspectiveTransform(corners.data(), target.data());
    const cv::Size roomySize(size.width + 2 * static_cast<int>(shift.x), size.height + 2 * static_cast<int>(shift.y));
    cv::Mat roomy;
    // Past the image's edge lies its ground, else the median shade of that
    // edge: repeating its outermost pixels would draw ink there of a glyph
    // that touches the edge. The edge is measured only for a cut that needs
    // it, as a photo's lines rarely do and its edge is long.
    const int outside =
        !reachesPastTheImage(grey, transform, roomySize) ? 0 : ground ? *ground : edgeShade(grey);
    cv::warpPerspective(grey, roomy, transform, roomySize, scale > 1 ? cv::INTER_CUBIC : cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, cv::Scalar(outside));
    if (standing) {
        cv::rotate(roomy, roomy, cv::ROTATE_90_COUNTERCLOCKWISE);
    }
    if (!paintOverFrameInk(roomy, paintBeyondPlate(roomy, edgeShade(roomy), !ground))) {
        return {};
    }
    const cv::Mat line = roomy(cv::Rect(0, room, roomy.cols, roomy.rows - 2 * room));
    const int margin = std::max(1, line.rows / 4);
    cv::Mat framed;
    cv::copyMakeBorder(line, framed, margin, margin, margin, margin, cv::BORDER_CONSTANT, cv::Scalar(edgeShade(line)));
    return framed;
}

}  // namespace lumenary::platform::vision
