#include "platform/vision/worker/text_line_decoding.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

constexpr float probabilityCut = 0.3F;
constexpr double unclipRatio = 1.5;
constexpr float thinnestRegion = 3;

// The mean probability inside `box`, over the cells of its bounding
// rectangle that the box covers.
float meanInside(const cv::Mat& probabilities, const cv::RotatedRect& box) {
    const cv::Rect bounds = box.boundingRect() & cv::Rect(0, 0, probabilities.cols, probabilities.rows);
    if (bounds.empty()) {
        return 0;
    }
    cv::Mat mask = cv::Mat::zeros(bounds.size(), CV_8U);
    cv::Point2f corners[4];
    box.points(corners);
    std::vector<cv::Point> polygon;
    for (const cv::Point2f& corner : corners) {
        polygon.emplace_back(cvRound(corner.x - static_cast<float>(bounds.x)),
                             cvRound(corner.y - static_cast<float>(bounds.y)));
    }
    cv::fillConvexPoly(mask, polygon, cv::Scalar(1));
    return static_cast<float>(cv::mean(probabilities(bounds), mask)[0]);
}

// A box's long side: its length, its height across it, the direction it
// runs in (left to right) and how far that turns from level, in degrees.
struct Lie {
    float length;
    float height;
    cv::Point2f direction;
    float degrees;
};

Lie lieOf(const cv::RotatedRect& box) {
    const bool wide = box.size.width >= box.size.height;
    const double radians = (box.angle + (wide ? 0.0 : 90.0)) * CV_PI / 180;
    cv::Point2f direction(static_cast<float>(std::cos(radians)), static_cast<float>(std::sin(radians)));
    if (direction.x < 0) {
        direction = -direction;
    }
    const float degrees = static_cast<float>(std::abs(std::atan2(direction.y, direction.x)) * 180 / CV_PI);
    return {wide ? box.size.width : box.size.height, wide ? box.size.height : box.size.width, direction, degrees};
}

// A box about as long as high (a glyph the network found on its own, its
// turn arbitrary) as it lies along `direction`.
bool squarish(const cv::RotatedRect& box) {
    return std::max(box.size.width, box.size.height) < 1.5F * std::min(box.size.width, box.size.height);
}

Lie lieAlong(const cv::RotatedRect& box, const Lie& line) {
    cv::Point2f corners[4];
    box.points(corners);
    const cv::Point2f across(-line.direction.y, line.direction.x);
    float first = corners[0].dot(line.direction);
    float last = first;
    float top = corners[0].dot(across);
    float bottom = top;
    for (const cv::Point2f& corner : corners) {
        first = std::min(first, corner.dot(line.direction));
        last = std::max(last, corner.dot(line.direction));
        top = std::min(top, corner.dot(across));
        bottom = std::max(bottom, corner.dot(across));
    }
    return {last - first, bottom - top, line.direction, line.degrees};
}

// Whether `right` continues `left` along its line: its centre on the line's
// axis (within half the lower height), and its start after `left`'s end by
// at most the lower height (or before it by at most that height: the
// network's margins around two words a narrow space apart overlap). A
// glyph found on its own at the line's end (a last digit beside a frame)
// is taken as it lies along the line, and may be lower than the line.
bool piecesOfOneLine(const DetectedTextLine& left, const DetectedTextLine& right) {
    constexpr float mostTurn = 10;
    constexpr float mostHeightRatio = 1.5F;
    const Lie leftLie = lieOf(left.box);
    const bool glyph = squarish(right.box) && !squarish(left.box);
    const Lie rightLie = glyph ? lieAlong(right.box, leftLie) : lieOf(right.box);
    if (leftLie.degrees > mostTurn || rightLie.degrees > mostTurn || leftLie.height <= 0 || rightLie.height <= 0) {
        return false;
    }
    const float higher = std::max(leftLie.height, rightLie.height);
    const float lower = std::min(leftLie.height, rightLie.height);
    if (glyph ? rightLie.height > mostHeightRatio * leftLie.height : higher > mostHeightRatio * lower) {
        return false;
    }
    const cv::Point2f offset = right.box.center - left.box.center;
    const cv::Point2f across(-leftLie.direction.y, leftLie.direction.x);
    const float along = offset.dot(leftLie.direction);
    const float gap = along - (leftLie.length + rightLie.length) / 2;
    return along > 0 && std::abs(offset.dot(across)) <= lower / 2 && gap <= lower && gap >= -lower;
}

}  // namespace

std::vector<DetectedTextLine> textLinesInProbabilityMap(const cv::Mat& probabilities, float minimumConfidence,
                                                        std::size_t mostLines) {
    std::vector<DetectedTextLine> lines;
    if (probabilities.dims != 2 || probabilities.type() != CV_32F || probabilities.empty()) {
        return lines;
    }
    cv::Mat regions;
    cv::compare(probabilities, probabilityCut, regions, cv::CMP_GT);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(regions, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    std::vector<std::pair<double, std::size_t>> bySize;
    for (std::size_t index = 0; index < contours.size(); ++index) {
        bySize.emplace_back(cv::contourArea(contours[index]), index);
    }
    std::sort(bySize.begin(), bySize.end(), [](const auto& first, const auto& second) { return first.first > second.first; });
    if (bySize.size() > mostLines) {
        bySize.resize(mostLines);
    }
    for (const auto& [area, index] : bySize) {
        const cv::RotatedRect core = cv::minAreaRect(contours[index]);
        if (std::min(core.size.width, core.size.height) < thinnestRegion) {
            continue;
        }
        const float confidence = meanInside(probabilities, core);
        if (confidence < minimumConfidence) {
            continue;
        }
        const double width = core.size.width;
        const double height = core.size.height;
        const double margin = width * height * unclipRatio / (2 * (width + height));
        const cv::RotatedRect box(core.center,
                                  cv::Size2f(static_cast<float>(width + 2 * margin), static_cast<float>(height + 2 * margin)),
                                  core.angle);
        lines.push_back({box, confidence});
    }
    return lines;
}

std::vector<DetectedTextLine> inReadingOrder(std::vector<DetectedTextLine> lines) {
    std::sort(lines.begin(), lines.end(), [](const DetectedTextLine& first, const DetectedTextLine& second) {
        return first.box.boundingRect2f().y < second.box.boundingRect2f().y;
    });
    std::vector<DetectedTextLine> ordered;
    std::vector<bool> placed(lines.size(), false);
    for (std::size_t first = 0; first < lines.size(); ++first) {
        if (placed[first]) {
            continue;
        }
        const cv::Rect2f rowBounds = lines[first].box.boundingRect2f();
        std::vector<DetectedTextLine> row;
        for (std::size_t other = first; other < lines.size(); ++other) {
            if (placed[other]) {
                continue;
            }
            const cv::Rect2f bounds = lines[other].box.boundingRect2f();
            const float shared = std::min(rowBounds.br().y, bounds.br().y) - std::max(rowBounds.y, bounds.y);
            if (2 * shared >= std::min(rowBounds.height, bounds.height)) {
                row.push_back(lines[other]);
                placed[other] = true;
            }
        }
        std::sort(row.begin(), row.end(), [](const DetectedTextLine& left, const DetectedTextLine& right) {
            return left.box.boundingRect2f().x < right.box.boundingRect2f().x;
        });
        ordered.insert(ordered.end(), row.begin(), row.end());
    }
    return ordered;
}

std::vector<DetectedTextLine> withPiecesJoined(const std::vector<DetectedTextLine>& ordered) {
    std::vector<DetectedTextLine> joined;
    for (const DetectedTextLine& line : ordered) {
        if (!joined.empty() && piecesOfOneLine(joined.back(), line)) {
            cv::Point2f corners[8];
            joined.back().box.points(corners);
            line.box.points(corners + 4);
            joined.back().box = cv::minAreaRect(std::vector<cv::Point2f>(corners, corners + 8));
            joined.back().confidence = std::min(joined.back().confidence, line.confidence);
            continue;
        }
        joined.push_back(line);
    }
    return joined;
}

std::vector<DetectedTextLine> withoutLinesInsideOthers(const std::vector<DetectedTextLine>& lines) {
    // Overlapping this much of its area, a box holds a glyph or a frame's
    // end that a larger line holds too, and would read it twice.
    constexpr double insideShare = 0.6;
    const auto inside = [](const DetectedTextLine& line, const DetectedTextLine& other) {
        if (other.box.size.area() <= line.box.size.area()) {
            return false;
        }
        std::vector<cv::Point2f> overlap;
        if (cv::rotatedRectangleIntersection(line.box, other.box, overlap) == cv::INTERSECT_NONE || overlap.size() < 3) {
            return false;
        }
        std::vector<cv::Point2f> hull;
        cv::convexHull(overlap, hull);
        return cv::contourArea(hull) >= insideShare * line.box.size.area();
    };
    std::vector<DetectedTextLine> kept;
    for (const DetectedTextLine& line : lines) {
        if (std::none_of(lines.begin(), lines.end(),
                         [&](const DetectedTextLine& other) { return &other != &line && inside(line, other); })) {
            kept.push_back(line);
        }
    }
    return kept;
}

namespace {

// The characters other than `kept` and no character that the step's row
// gives at least leastAlternativeProbability, the most probable first.
std::vector<ReadAlternative> alternativesAt(const float* row, int classes, int kept,
                                            const std::vector<std::string>& characters) {
    std::vector<ReadAlternative> alternatives;
    for (int index = 1; index < classes && static_cast<std::size_t>(index) <= characters.size(); ++index) {
        if (index != kept && row[index] >= leastAlternativeProbability) {
            alternatives.push_back({characters[static_cast<std::size_t>(index) - 1], row[index]});
        }
    }
    const auto moreProbable = [](const ReadAlternative& first, const ReadAlternative& second) {
        return first.probability > second.probability;
    };
    const std::size_t count = std::min(alternatives.size(), mostAlternatives);
    std::partial_sort(alternatives.begin(), alternatives.begin() + static_cast<std::ptrdiff_t>(count),
                      alternatives.end(), moreProbable);
    alternatives.resize(count);
    return alternatives;
}

}  // namespace

NetworkLineText ctcText(const cv::Mat& probabilities, const std::vector<std::string>& characters) {
    NetworkLineText line;
    if (probabilities.dims != 2 || probabilities.type() != CV_32F || probabilities.empty()) {
        return line;
    }
    double sum = 0;
    int kept = 0;
    int previous = 0;
    const auto space = std::find(characters.begin(), characters.end(), " ");
    const int spaceClass = space == characters.end() || space - characters.begin() + 1 >= probabilities.cols
                               ? -1
                               : static_cast<int>(space - characters.begin()) + 1;
    float spaceSince = 0;
    for (int step = 0; step < probabilities.rows; ++step) {
        const float* row = probabilities.ptr<float>(step);
        if (spaceClass > 0) {
            spaceSince = std::max(spaceSince, row[spaceClass]);
        }
        const int best = static_cast<int>(std::max_element(row, row + probabilities.cols) - row);
        if (best != 0 && best != previous && static_cast<std::size_t>(best) <= characters.size()) {
            line.text += characters[static_cast<std::size_t>(best) - 1];
            line.characters.push_back(characters[static_cast<std::size_t>(best) - 1]);
            line.steps.push_back(step);
            line.spaceBefore.push_back(spaceSince);
            line.probabilities.push_back(row[best]);
            line.alternatives.push_back(alternativesAt(row, probabilities.cols, best, characters));
            spaceSince = 0;
            sum += row[best];
            ++kept;
        }
        previous = best;
    }
    line.confidence = kept == 0 ? 0.0F : std::clamp(static_cast<float>(sum / kept), 0.0F, 1.0F);
    return line;
}

namespace {

bool isMark(const std::string& character) {
    if (character.size() == 1) {
        return std::ispunct(static_cast<unsigned char>(character[0])) != 0 || character[0] == ' ';
    }
    // The CJK symbols and punctuation block (U+3000 to U+303F) and the
    // full-width forms (U+FF00 to U+FFEF) start with these bytes.
    return character.rfind("\xe3\x80", 0) == 0 || character.rfind("\xef\xbc", 0) == 0 ||
           character.rfind("\xef\xbd", 0) == 0;
}

int inkedColumns(const cv::Mat& columns, int from, int to) {
    from = std::clamp(from, 0, columns.cols);
    to = std::clamp(to, from, columns.cols);
    return from == to ? 0 : cv::countNonZero(columns(cv::Rect(from, 0, to - from, 1)));
}

}  // namespace

std::string withSpacesAtGaps(const NetworkLineText& read, const cv::Mat& ink, double stepWidth, int widestGap) {
    constexpr float spaceSeen = 0.01F;
    if (ink.empty() || ink.type() != CV_8U || read.characters.size() != read.steps.size() ||
        read.spaceBefore.size() != read.steps.size() || stepWidth <= 0) {
        return read.text;
    }
    cv::Mat columns;
    cv::reduce(ink, columns, 0, cv::REDUCE_MAX);
    std::string text;
    for (std::size_t index = 0; index < read.characters.size(); ++index) {
        if (index > 0 && read.spaceBefore[index] >= spaceSeen && !isMark(read.characters[index - 1]) &&
            !isMark(read.characters[index])) {
            // The widest run of empty columns between the two characters'
            // steps.
            const int from = std::clamp(static_cast<int>(read.steps[index - 1] * stepWidth), 0, columns.cols);
            const int to = std::clamp(static_cast<int>((read.steps[index] + 1) * stepWidth), 0, columns.cols);
            int run = 0;
            int widest = 0;
            for (int column = from; column < to; ++column) {
                run = columns.at<unsigned char>(0, column) == 0 ? run + 1 : 0;
                widest = std::max(widest, run);
            }
            if (widest >= widestGap) {
                text += ' ';
            }
        }
        text += read.characters[index];
    }
    return text;
}

std::vector<std::string> withCommasForFilledStops(const NetworkLineText& read, const cv::Mat& ink, double stepWidth,
                                                  int glyphHeight) {
    std::vector<std::string> characters = read.characters;
    if (ink.empty() || ink.type() != CV_8U || read.steps.size() != characters.size() || stepWidth <= 0 ||
        glyphHeight < 2) {
        return characters;
    }
    for (std::size_t index = 1; index + 1 < characters.size(); ++index) {
        const std::string& next = characters[index + 1];
        if (characters[index] != "。" || isMark(characters[index - 1]) || characters[index - 1].size() == 1 ||
            isMark(next) || next.size() == 1) {
            continue;
        }
        const int middle = static_cast<int>((read.steps[index] + 0.5) * stepWidth);
        const int from = std::clamp(middle - glyphHeight, 0, ink.cols);
        const int to = std::clamp(middle + glyphHeight, from, ink.cols);
        if (from == to) {
            continue;
        }
        // Outer outlines and the holes in them, each hole's parent its
        // outline.
        std::vector<std::vector<cv::Point>> outlines;
        std::vector<cv::Vec4i> hierarchy;
        cv::findContours(ink(cv::Rect(from, 0, to - from, ink.rows)).clone(), outlines, hierarchy, cv::RETR_CCOMP,
                         cv::CHAIN_APPROX_SIMPLE);
        bool filled = false;
        bool ring = false;
        for (std::size_t outline = 0; outline < outlines.size(); ++outline) {
            if (hierarchy[outline][3] >= 0) {
                continue;
            }
            const cv::Rect bounds = cv::boundingRect(outlines[outline]);
            const int centre = from + bounds.x + bounds.width / 2;
            if (2 * bounds.height > glyphHeight || 2 * std::abs(centre - middle) > glyphHeight) {
                continue;
            }
            (hierarchy[outline][2] >= 0 ? ring : filled) = true;
        }
        if (filled && !ring) {
            characters[index] = "，";
        }
    }
    return characters;
}

bool holdsUnreadInk(const NetworkLineText& read, const cv::Mat& ink, double stepWidth, int glyphWidth) {
    if (ink.empty() || ink.type() != CV_8U || read.steps.size() != read.characters.size() || stepWidth <= 0) {
        return false;
    }
    cv::Mat columns;
    cv::reduce(ink, columns, 0, cv::REDUCE_MAX);
    if (read.steps.empty()) {
        return cv::countNonZero(columns) > 0;
    }
    const auto column = [stepWidth](int step) { return static_cast<int>((step + 0.5) * stepWidth); };
    if (inkedColumns(columns, 0, column(read.steps.front())) > glyphWidth ||
        inkedColumns(columns, column(read.steps.back()), columns.cols) > glyphWidth) {
        return true;
    }
    for (std::size_t index = 1; index < read.steps.size(); ++index) {
        if (2 * inkedColumns(columns, column(read.steps[index - 1]), column(read.steps[index])) > 3 * glyphWidth) {
            return true;
        }
    }
    return false;
}

}  // namespace lumenary::platform::vision
