#include "platform/vision/worker/plain_ground.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

// The share of the edge's pixels within this many shades of its median
// colour that makes it plain.
constexpr int plainEdgeShades = 24;
constexpr double plainEdgeShare = 0.6;
// Text cut to its ink: ground and ink stand at least this many shades
// apart; at least this share of the image is one or the other (glyphs'
// smoothed edges are most of the rest, a third of a line 12 px high); and
// nearly all of it is the ground, the ink or a blend of the two, as no
// colour photo is.
constexpr int leastInkContrast = 56;
constexpr double twoShadeShare = 0.6;
constexpr double blendShare = 0.9;
// A screen whose edge crosses several flat colours (a highlighted row, a
// panel of another shade) is still mostly flat: this share of its sampled
// pixels sit among eight neighbours of their exact colour, where the real
// photos and page scans tried leave a fifth at most; and one of its edge's
// colours, its ground, covers at least this share of the edge.
constexpr double flatShare = 0.8;
constexpr double flatGroundEdgeShare = 0.3;
// What lies on a plain ground is worth reading in its own part of the
// image where it covers at most this share of it, with this margin.
constexpr double smallContentShare = 0.5;
constexpr int contentMargin = 16;

// The image's outermost pixels.
std::vector<cv::Vec3b> edgeOf(const cv::Mat& rgb) {
    std::vector<cv::Vec3b> edge;
    for (int column = 0; column < rgb.cols; ++column) {
        edge.push_back(rgb.at<cv::Vec3b>(0, column));
        edge.push_back(rgb.at<cv::Vec3b>(rgb.rows - 1, column));
    }
    for (int row = 0; row < rgb.rows; ++row) {
        edge.push_back(rgb.at<cv::Vec3b>(row, 0));
        edge.push_back(rgb.at<cv::Vec3b>(row, rgb.cols - 1));
    }
    return edge;
}

// The per-channel median of `pixels`.
cv::Vec3b medianColour(std::vector<cv::Vec3b> pixels) {
    cv::Vec3b median;
    const auto middle = pixels.begin() + static_cast<std::ptrdiff_t>(pixels.size() / 2);
    for (int channel = 0; channel < 3; ++channel) {
        std::nth_element(pixels.begin(), middle, pixels.end(),
                         [channel](const cv::Vec3b& first, const cv::Vec3b& second) {
                             return first[channel] < second[channel];
                         });
        median[channel] = (*middle)[channel];
    }
    return median;
}

bool near(const cv::Vec3b& pixel, const cv::Vec3b& colour) {
    for (int channel = 0; channel < 3; ++channel) {
        if (std::abs(static_cast<int>(pixel[channel]) - static_cast<int>(colour[channel])) > plainEdgeShades) {
            return false;
        }
    }
    return true;
}

double shareNear(const std::vector<cv::Vec3b>& pixels, const cv::Vec3b& colour) {
    const auto count =
        std::count_if(pixels.begin(), pixels.end(), [&colour](const cv::Vec3b& pixel) { return near(pixel, colour); });
    return pixels.empty() ? 0.0 : static_cast<double>(count) / static_cast<double>(pixels.size());
}

int greyOf(const cv::Vec3b& rgb) {
    return (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2]) / 1000;
}

// The share of `pixels` within `plainEdgeShades` shades of a blend of
// `ground` and `ink`, or of a deeper ink (`ink` is its median shade).
double shareBetween(const std::vector<cv::Vec3b>& pixels, const cv::Vec3b& ground, const cv::Vec3b& ink) {
    const cv::Vec3d from(ground[0], ground[1], ground[2]);
    const cv::Vec3d along = cv::Vec3d(ink[0], ink[1], ink[2]) - from;
    const double length = along.dot(along);
    const auto blended = std::count_if(pixels.begin(), pixels.end(), [&](const cv::Vec3b& pixel) {
        const cv::Vec3d offset = cv::Vec3d(pixel[0], pixel[1], pixel[2]) - from;
        const double share = length == 0 ? 0.0 : std::clamp(offset.dot(along) / length, 0.0, 2.0);
        const cv::Vec3d apart = offset - share * along;
        return std::max({std::abs(apart[0]), std::abs(apart[1]), std::abs(apart[2])}) <= plainEdgeShades;
    });
    return pixels.empty() ? 0.0 : static_cast<double>(blended) / static_cast<double>(pixels.size());
}

// About `most` of the image's pixels, on an even grid.
std::vector<cv::Vec3b> sampledPixels(const cv::Mat& rgb, std::size_t most) {
    const auto step = static_cast<int>(std::max(1.0, std::sqrt(static_cast<double>(rgb.total()) / most)));
    std::vector<cv::Vec3b> pixels;
    for (int row = step / 2; row < rgb.rows; row += step) {
        for (int column = step / 2; column < rgb.cols; column += step) {
            pixels.push_back(rgb.at<cv::Vec3b>(row, column));
        }
    }
    return pixels;
}

// The share of about `most` of the image's inner pixels, on an even grid,
// whose eight neighbours are all their colour.
double flatPixelShare(const cv::Mat& rgb, std::size_t most) {
    if (rgb.rows < 3 || rgb.cols < 3) {
        return 0.0;
    }
    const auto step = static_cast<int>(std::max(1.0, std::sqrt(static_cast<double>(rgb.total()) / most)));
    std::size_t flat = 0;
    std::size_t seen = 0;
    for (int row = 1; row + 1 < rgb.rows; row += step) {
        for (int column = 1; column + 1 < rgb.cols; column += step) {
            const cv::Vec3b centre = rgb.at<cv::Vec3b>(row, column);
            bool even = true;
            for (int around = 0; around < 9 && even; ++around) {
                even = rgb.at<cv::Vec3b>(row - 1 + around / 3, column - 1 + around % 3) == centre;
            }
            flat += even ? 1 : 0;
            ++seen;
        }
    }
    return static_cast<double>(flat) / static_cast<double>(seen);
}

// The colour most of `pixels` have exactly, and their share.
std::pair<cv::Vec3b, double> commonestColour(const std::vector<cv::Vec3b>& pixels) {
    std::map<std::array<unsigned char, 3>, std::size_t> counts;
    for (const cv::Vec3b& pixel : pixels) {
        ++counts[{pixel[0], pixel[1], pixel[2]}];
    }
    if (counts.empty()) {
        return {cv::Vec3b(), 0.0};
    }
    const auto commonest = std::max_element(counts.begin(), counts.end(), [](const auto& first, const auto& second) {
        return first.second < second.second;
    });
    return {cv::Vec3b(commonest->first[0], commonest->first[1], commonest->first[2]),
            static_cast<double>(commonest->second) / static_cast<double>(pixels.size())};
}

// The plain ground a page or a screen puts at the image's edge, channel by
// channel: the edge's median colour when most of the edge is that colour,
// or, for text cut to its ink (capitals cover most of a line's top and
// bottom rows, and its first and last glyph its sides), the image's own
// ground when the image is two shades, ground and ink, and its edge is
// mostly one or the other, or, for a screen whose edge crosses several
// flat colours, the commonest of them where the image is mostly flat. A
// photo is none of these.
}  // namespace

std::optional<cv::Scalar> plainGroundColour(const cv::Mat& rgb) {
    const std::vector<cv::Vec3b> edge = edgeOf(rgb);
    const cv::Vec3b edgeMedian = medianColour(edge);
    if (shareNear(edge, edgeMedian) >= plainEdgeShare) {
        return cv::Scalar(edgeMedian[0], edgeMedian[1], edgeMedian[2]);
    }
    constexpr std::size_t sampled = 40'000;
    const auto flatScreenGround = [&]() -> std::optional<cv::Scalar> {
        const auto [commonest, share] = commonestColour(edge);
        if (share < flatGroundEdgeShare || flatPixelShare(rgb, sampled) < flatShare) {
            return std::nullopt;
        }
        return cv::Scalar(commonest[0], commonest[1], commonest[2]);
    };
    const std::vector<cv::Vec3b> pixels = sampledPixels(rgb, sampled);
    // The lighter and the darker shades, parted where they part best. Text
    // is most often dark on light: the darker shades are the ground only
    // where they clearly cover more of the image (a small bold line's ink
    // can cover as much as its ground, and the edge shows both alike).
    cv::Mat shades(1, static_cast<int>(pixels.size()), CV_8U);
    for (std::size_t index = 0; index < pixels.size(); ++index) {
        shades.at<unsigned char>(0, static_cast<int>(index)) = static_cast<unsigned char>(greyOf(pixels[index]));
    }
    cv::Mat unused;
    const double parting = cv::threshold(shades, unused, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    std::vector<cv::Vec3b> light;
    std::vector<cv::Vec3b> dark;
    std::partition_copy(pixels.begin(), pixels.end(), std::back_inserter(light), std::back_inserter(dark),
                        [parting](const cv::Vec3b& pixel) { return greyOf(pixel) > parting; });
    if (light.empty() || dark.empty()) {
        return flatScreenGround();
    }
    const cv::Vec3b lightShade = medianColour(light);
    const cv::Vec3b darkShade = medianColour(dark);
    const bool darkGround = shareNear(pixels, darkShade) >= 1.3 * shareNear(pixels, lightShade);
    const cv::Vec3b ground = darkGround ? darkShade : lightShade;
    const cv::Vec3b ink = darkGround ? lightShade : darkShade;
    if (std::abs(greyOf(ground) - greyOf(ink)) < leastInkContrast ||
        shareNear(pixels, ground) + shareNear(pixels, ink) < twoShadeShare ||
        shareBetween(pixels, ground, ink) < blendShare) {
        return flatScreenGround();
    }
    return cv::Scalar(ground[0], ground[1], ground[2]);
}

std::optional<cv::Rect> smallPlainContent(const cv::Mat& rgb, const cv::Scalar& ground) {
    cv::Mat apart;
    cv::absdiff(rgb, ground, apart);
    std::vector<cv::Mat> channels;
    cv::split(apart, channels);
    const cv::Mat farthest = cv::max(cv::max(channels[0], channels[1]), channels[2]);
    const cv::Rect content = cv::boundingRect(farthest > plainEdgeShades);
    if (content.empty()) {
        return std::nullopt;
    }
    const cv::Rect around = cv::Rect(content.x - contentMargin, content.y - contentMargin,
                                     content.width + 2 * contentMargin, content.height + 2 * contentMargin) &
                            cv::Rect(0, 0, rgb.cols, rgb.rows);
    if (static_cast<double>(around.area()) > smallContentShare * static_cast<double>(rgb.total())) {
        return std::nullopt;
    }
    return around;
}

}  // namespace lumenary::platform::vision
