#include "platform/vision/worker/frame_ink.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {
namespace {

constexpr double leastInkContrast = 56;

// One connected piece of ink: its box, its pixel count and its pixels.
struct InkPiece {
    cv::Rect box;
    int area = 0;
    cv::Mat ink;  // 255 on the piece's pixels, over its box
};

bool crossesDown(const InkPiece& piece, cv::Size cut) {
    const bool bar = 2 * piece.box.width <= cut.height;
    const bool outline = 3 * piece.area <= piece.box.area();
    return piece.box.y == 0 && piece.box.height == cut.height && (bar || outline);
}

bool crossesAlong(const InkPiece& piece, cv::Size cut) {
    const bool bar = 4 * piece.box.height <= cut.height;
    const bool outline = 3 * piece.area <= piece.box.area();
    return piece.box.x == 0 && piece.box.width == cut.width && (bar || outline);
}

cv::Point middleOf(const cv::Rect& box) {
    return {box.x + box.width / 2, box.y + box.height / 2};
}

bool boxOutline(const InkPiece& piece, const std::vector<InkPiece>& pieces, cv::Size cut) {
    // Only a piece as large as a box's outline, and as sparse, is one.
    if (piece.box.width < 12 || piece.box.height < 6 || 3 * piece.area > piece.box.area()) {
        return false;
    }
    std::vector<cv::Point> points;
    cv::findNonZero(piece.ink, points);
    const cv::RotatedRect around = cv::minAreaRect(points);
    const float longSide = std::max(around.size.width, around.size.height);
    const float shortSide = std::min(around.size.width, around.size.height);
    // A field the cut ends inside: no glyph runs past the room at a line's
    // ends, nor stands taller than the line and a tenth of the room.
    const bool runsPastTheCut = piece.box.x <= 1 || piece.box.br().x >= cut.width - 1;
    const bool cutField = runsPastTheCut && 20 * piece.box.height > 11 * cut.height;
    if ((2 * longSide < 3 * shortSide && !cutField) || shortSide < 6) {
        return false;
    }
    const float side = std::max(2.0F, shortSide / 6);
    const cv::RotatedRect inner(around.center, cv::Size2f(around.size.width - 2 * side, around.size.height - 2 * side),
                                around.angle);
    cv::Point2f corners[4];
    inner.points(corners);
    std::vector<cv::Point> polygon;
    for (const cv::Point2f& corner : corners) {
        polygon.emplace_back(cvRound(corner.x), cvRound(corner.y));
    }
    cv::Mat inside = cv::Mat::zeros(piece.ink.size(), CV_8U);
    cv::fillConvexPoly(inside, polygon, cv::Scalar(255));
    if (10 * cv::countNonZero(inside & piece.ink) > piece.area) {
        return false;
    }
    return std::any_of(pieces.begin(), pieces.end(), [&](const InkPiece& other) {
        const cv::Point middle = middleOf(other.box) - piece.box.tl();
        return &other != &piece && middle.inside(cv::Rect({}, inside.size())) && inside.at<uchar>(middle) != 0;
    });
}

// A control's outline drawn in straight strokes around a glyph: a spin
// box's field with the rules that part its arrows' buttons, a button's
// edge. It is sparse, a third of the cut high or more, twice as long as
// high or running past the cut's end (the room at a line's ends holds no
// glyph), most of its ink on long level or upright runs, and another
// piece stands wholly inside it. A glyph's straight strokes (E, [, f over
// an i's dot, 国) are no longer than high and within the cut.
bool straightOutline(const InkPiece& piece, const std::vector<InkPiece>& pieces, cv::Size cut) {
    const bool runsPastTheCut = piece.box.x <= 1 || piece.box.br().x >= cut.width - 1;
    if (3 * piece.area > piece.box.area() || 3 * piece.box.height < cut.height || piece.box.width < 12 ||
        (!runsPastTheCut && piece.box.width < 2 * piece.box.height)) {
        return false;
    }
    const int levelRun = std::max(6, piece.box.width / 3);
    const int uprightRun = piece.box.height / 2;
    cv::Mat onRuns = cv::Mat::zeros(piece.ink.size(), CV_8U);
    for (int row = 0; row < piece.ink.rows; ++row) {
        int start = 0;
        for (int column = 0; column <= piece.ink.cols; ++column) {
            if (column < piece.ink.cols && piece.ink.at<uchar>(row, column) != 0) {
                continue;
            }
            if (column - start >= levelRun) {
                onRuns(cv::Rect(start, row, column - start, 1)).setTo(255);
            }
            start = column + 1;
        }
    }
    for (int column = 0; column < piece.ink.cols; ++column) {
        int start = 0;
        for (int row = 0; row <= piece.ink.rows; ++row) {
            if (row < piece.ink.rows && piece.ink.at<uchar>(row, column) != 0) {
                continue;
            }
            if (row - start >= uprightRun) {
                onRuns(cv::Rect(column, start, 1, row - start)).setTo(255);
            }
            start = row + 1;
        }
    }
    if (10 * cv::countNonZero(onRuns) < 7 * piece.area) {
        return false;
    }
    return std::any_of(pieces.begin(), pieces.end(), [&](const InkPiece& other) {
        return &other != &piece && (other.box & piece.box) == other.box && other.box.area() < piece.box.area();
    });
}

// A filled triangle on a level base with its tip over the base's middle
// (▲ ▼, or ◀ ▶ in a cut turned a quarter), as a spin box's or a
// drop-down's arrow is drawn: its ink fills
// a third to three quarters of its box and most of the smallest triangle
// around it. A
// stroke (l, i, !) fills its box.
bool levelArrow(const InkPiece& piece) {
    if (piece.box.width < 4 || piece.box.height < 3 || 20 * piece.area < 7 * piece.box.area() ||
        4 * piece.area > 3 * piece.box.area()) {
        return false;
    }
    std::vector<cv::Point> points;
    cv::findNonZero(piece.ink, points);
    std::vector<cv::Point2f> spread;
    for (const cv::Point& point : points) {
        // Each pixel as its square's four corners: the triangle must hold
        // the pixels whole.
        for (const cv::Point2f corner : {cv::Point2f(0, 0), cv::Point2f(1, 0), cv::Point2f(0, 1), cv::Point2f(1, 1)}) {
            spread.push_back(cv::Point2f(point) + corner);
        }
    }
    std::vector<cv::Point2f> triangle;
    const double triangleArea = cv::minEnclosingTriangle(spread, triangle);
    if (triangle.size() != 3 || piece.area < 0.7 * triangleArea) {
        return false;
    }
    // On a level base (▲ ▼) or, in a line cut turned a quarter, an
    // upright one (◀ ▶).
    const float level = std::max(1.0F, static_cast<float>(std::min(piece.box.width, piece.box.height)) / 4);
    for (const bool upright : {false, true}) {
        const auto along = [upright](const cv::Point2f& point) { return upright ? point.y : point.x; };
        const auto across = [upright](const cv::Point2f& point) { return upright ? point.x : point.y; };
        for (std::size_t first = 0; first < 3; ++first) {
            const cv::Point2f& left = triangle[first];
            const cv::Point2f& right = triangle[(first + 1) % 3];
            const cv::Point2f& tip = triangle[(first + 2) % 3];
            const float base = std::abs(along(right) - along(left));
            if (std::abs(across(right) - across(left)) <= level &&
                std::abs(2 * along(tip) - along(left) - along(right)) <= base / 2 &&
                std::abs(across(tip) - across(left)) >= level) {
                return true;
            }
        }
    }
    return false;
}

// A field's fill and the faces of its buttons in `inside` turned to the
// ground around the field, leaving the glyphs and the pixels at their
// edges: a recogniser that binarises the line by its shades would
// otherwise part the two grounds and read the ground as ink.
void fillAsGround(cv::Mat inside, int ground) {
    const cv::Scalar fill = cv::mean(inside);
    cv::Mat difference;
    cv::absdiff(inside, fill, difference);
    cv::Mat glyphs;
    cv::threshold(difference, glyphs, leastInkContrast, 255, cv::THRESH_BINARY);
    cv::dilate(glyphs, glyphs, cv::Mat(), cv::Point(-1, -1), 2);
    inside.setTo(ground, ~glyphs);
}

std::vector<InkPiece> inkPieces(const cv::Mat& ink) {
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    std::vector<InkPiece> pieces;
    for (int label = 1; label < count; ++label) {
        const cv::Rect box(stats.at<int>(label, cv::CC_STAT_LEFT), stats.at<int>(label, cv::CC_STAT_TOP),
                           stats.at<int>(label, cv::CC_STAT_WIDTH), stats.at<int>(label, cv::CC_STAT_HEIGHT));
        pieces.push_back({box, stats.at<int>(label, cv::CC_STAT_AREA), labels(box) == label});
    }
    return pieces;
}

// The shade the most pixels of `grey` lie near (within `shades`): a
// plate's, where the glyphs on it and a photo's texture beside it spread
// over many.
int commonestShade(const cv::Mat& grey, int shades) {
    std::array<int, 256> counts{};
    for (int row = 0; row < grey.rows; ++row) {
        for (int column = 0; column < grey.cols; ++column) {
            ++counts[grey.at<unsigned char>(row, column)];
        }
    }
    int commonest = 0;
    int most = -1;
    int near = 0;
    // A window of 2 * shades + 1 shades slid along the counts.
    for (int shade = 0; shade < 256 + shades; ++shade) {
        near += shade < 256 ? counts[static_cast<std::size_t>(shade)] : 0;
        near -= shade - 2 * shades - 1 >= 0 ? counts[static_cast<std::size_t>(shade - 2 * shades - 1)] : 0;
        if (shade - shades >= 0 && shade - shades < 256 && near > most) {
            most = near;
            commonest = shade - shades;
        }
    }
    // The median shade within that window.
    int seen = 0;
    for (int shade = std::max(0, commonest - shades); shade <= std::min(255, commonest + shades); ++shade) {
        seen += counts[static_cast<std::size_t>(shade)];
        if (2 * seen >= most) {
            return shade;
        }
    }
    return commonest;
}

}  // namespace

int paintBeyondPlate(cv::Mat& line, int edgeGround, bool onPhoto) {
    constexpr int plateShades = 24;
    if (line.empty() || line.type() != CV_8UC1 || line.rows < 4) {
        return edgeGround;
    }
    const cv::Rect ownRows(0, line.rows / 4, line.cols, line.rows / 2);
    const int plateShade = commonestShade(line(ownRows), plateShades / 2);
    // A page's or a screen's line stands on the ground its cut's edge shows,
    // as does a line on a photo with no plate of its own. On a photo the
    // edge's median may match a plate by chance (a sign's orange band
    // between a dark frame and a white band below): a plate wholly inside
    // the cut, framed on every side, is still taken there.
    const bool edgeOfTheGround = std::abs(plateShade - edgeGround) <= leastInkContrast;
    if (edgeOfTheGround && !onPhoto) {
        return edgeGround;
    }
    cv::Mat difference;
    cv::absdiff(line, cv::Scalar(plateShade), difference);
    cv::Mat plate;
    cv::threshold(difference, plate, plateShades, 255, cv::THRESH_BINARY_INV);
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(plate, labels, stats, centroids, 4, CV_32S);
    // The plate is the piece of that shade most of the line's own rows show.
    std::vector<int> inOwnRows(static_cast<std::size_t>(count), 0);
    for (int row = ownRows.y; row < ownRows.br().y; ++row) {
        for (int column = 0; column < line.cols; ++column) {
            ++inOwnRows[static_cast<std::size_t>(labels.at<int>(row, column))];
        }
    }
    int largest = 0;
    for (int label = 1; label < count; ++label) {
        if (largest == 0 || inOwnRows[static_cast<std::size_t>(label)] > inOwnRows[static_cast<std::size_t>(largest)]) {
            largest = label;
        }
    }
    if (largest == 0) {
        return edgeGround;
    }
    const auto boxOf = [&stats](int label) {
        return cv::Rect(stats.at<int>(label, cv::CC_STAT_LEFT), stats.at<int>(label, cv::CC_STAT_TOP),
                        stats.at<int>(label, cv::CC_STAT_WIDTH), stats.at<int>(label, cv::CC_STAT_HEIGHT));
    };
    cv::Rect box = boxOf(largest);
    int area = 0;
    // Glyphs that touch a frame drawn close part the plate inside it: the
    // parts as high as the largest, at its rows, are the same plate.
    for (int label = 1; label < count; ++label) {
        const cv::Rect part = boxOf(label);
        if (label == largest || (std::abs(part.y - box.y) <= 2 && std::abs(part.br().y - box.br().y) <= 2)) {
            box |= part;
            area += stats.at<int>(label, cv::CC_STAT_AREA);
        }
    }
    // A plate stands over most of the line's rows and along most of it,
    // and is mostly that shade; anything less is a patch of a photo's
    // texture.
    if (5 * box.height < 3 * ownRows.height || 2 * box.width < line.cols || 10 * area < 3 * box.area()) {
        return edgeGround;
    }
    const bool framedAllRound = box.x > 0 && box.y > 0 && box.br().x < line.cols && box.br().y < line.rows;
    // A solid plate around a few glyphs, not a bold word's own strokes.
    const bool solid = 5 * area >= 3 * box.area();
    if (edgeOfTheGround && !(framedAllRound && solid)) {
        return edgeGround;
    }
    cv::Mat beyond(line.size(), CV_8U, cv::Scalar(255));
    beyond(box).setTo(0);
    // A rounded frame's corners reach inside the plate's box: ink in a
    // corner of the box, touching two sides that meet, is the frame's, as
    // the plate runs on past the line's ends (its glyphs may touch the top
    // and the bottom of a frame drawn close).
    cv::Mat ink;
    cv::absdiff(line(box), cv::Scalar(plateShade), ink);
    cv::threshold(ink, ink, leastInkContrast, 255, cv::THRESH_BINARY);
    cv::Mat glyphs = cv::Mat::zeros(line.size(), CV_8U);
    for (const InkPiece& piece : inkPieces(ink)) {
        const bool atAnEnd = piece.box.x == 0 || piece.box.br().x == box.width;
        const bool atTopOrBottom = piece.box.y == 0 || piece.box.br().y == box.height;
        cv::Mat underPiece = (atAnEnd && atTopOrBottom ? beyond : glyphs)(box)(piece.box);
        underPiece |= piece.ink;
    }
    // The frame's edge against the plate is a blend of the two shades, a
    // ring fainter than ink that the recogniser still reads as marks
    // ("‘NOTICE"): what is off the plate's shade right beside what was
    // painted goes too, but for the glyphs and their smoothed edges (a
    // frame drawn close runs a few pixels from them).
    if (onPhoto && framedAllRound && solid) {
        cv::Mat ring;
        cv::dilate(beyond, ring, cv::Mat(), cv::Point(-1, -1), 2);
        cv::dilate(glyphs, glyphs, cv::Mat(), cv::Point(-1, -1), 1);
        beyond |= ring & ~plate & ~glyphs;
    }
    line.setTo(plateShade, beyond);
    return plateShade;
}

bool paintOverFrameInk(cv::Mat& line, int ground) {
    if (line.empty() || line.type() != CV_8UC1) {
        return true;
    }
    cv::Mat difference;
    cv::absdiff(line, cv::Scalar(ground), difference);
    cv::Mat ink;
    cv::threshold(difference, ink, leastInkContrast, 255, cv::THRESH_BINARY);
    if (cv::countNonZero(ink) == 0) {
        return true;
    }
    const std::vector<InkPiece> pieces = inkPieces(ink);
    enum class Kind { glyph, frame, outline, arrow };
    std::vector<Kind> kinds;
    for (const InkPiece& piece : pieces) {
        kinds.push_back(boxOutline(piece, pieces, line.size()) || straightOutline(piece, pieces, line.size())
                            ? Kind::outline
                        : crossesDown(piece, line.size()) || crossesAlong(piece, line.size()) ? Kind::frame
                        : levelArrow(piece)                                                   ? Kind::arrow
                                                                                              : Kind::glyph);
    }
    // Arrows count only beyond the glyphs: the first and the last glyph's
    // middles bound the line. The room above and below holds other lines'.
    const cv::Rect ownRows(0, line.rows / 4, line.cols, line.rows / 2);
    int firstGlyph = line.cols;
    int lastGlyph = -1;
    for (std::size_t index = 0; index < pieces.size(); ++index) {
        if (kinds[index] == Kind::glyph && (pieces[index].box & ownRows).area() > 0) {
            firstGlyph = std::min(firstGlyph, middleOf(pieces[index].box).x);
            lastGlyph = std::max(lastGlyph, middleOf(pieces[index].box).x);
        }
    }
    cv::Mat painted = cv::Mat::zeros(line.size(), CV_8U);
    for (std::size_t index = 0; index < pieces.size(); ++index) {
        const int middle = middleOf(pieces[index].box).x;
        const bool arrowBeyondGlyphs = kinds[index] == Kind::arrow && (middle > lastGlyph || middle < firstGlyph);
        if (kinds[index] == Kind::frame || kinds[index] == Kind::outline || arrowBeyondGlyphs) {
            cv::Mat underPiece = painted(pieces[index].box);
            underPiece |= pieces[index].ink;
        }
    }
    // The pixels beside a stroke hold some of its ink too.
    cv::dilate(painted, painted, cv::Mat(), cv::Point(-1, -1), 2);
    line.setTo(ground, painted);
    for (std::size_t index = 0; index < pieces.size(); ++index) {
        if (kinds[index] == Kind::outline) {
            fillAsGround(line(pieces[index].box), ground);
        }
    }
    return lastGlyph >= 0;
}

}  // namespace lumenary::platform::vision
