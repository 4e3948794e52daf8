#include "photographed_page.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace lumenary::vision_bench {

namespace {

using platform::PlatformError;
using platform::PlatformOutcome;

// The table the page lies on, in BGR.
const cv::Scalar ground(204, 209, 213);

double signedBetween(cv::RNG& random, double low, double high) {
    const double size = random.uniform(low, high);
    return random.uniform(0, 2) == 0 ? -size : size;
}

// `page` turned and pulled out of square within a ground wide enough to
// hold it whole.
cv::Mat turnedOnGround(const cv::Mat& page, cv::RNG& random) {
    const int margin = std::max(page.cols, page.rows) / 12;
    cv::Mat framed;
    cv::copyMakeBorder(page, framed, margin, margin, margin, margin, cv::BORDER_CONSTANT, ground);
    const auto width = static_cast<float>(page.cols);
    const auto height = static_cast<float>(page.rows);
    const cv::Point2f corners[4] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
    const double angle = signedBetween(random, 1.0, 3.0) * CV_PI / 180.0;
    const cv::Point2f centre(static_cast<float>(framed.cols) / 2, static_cast<float>(framed.rows) / 2);
    cv::Point2f from[4];
    cv::Point2f to[4];
    for (int corner = 0; corner < 4; ++corner) {
        from[corner] = corners[corner] + cv::Point2f(static_cast<float>(margin), static_cast<float>(margin));
        const cv::Point2f offset = from[corner] - centre;
        const cv::Point2f turned(static_cast<float>(offset.x * std::cos(angle) - offset.y * std::sin(angle)),
                                 static_cast<float>(offset.x * std::sin(angle) + offset.y * std::cos(angle)));
        const cv::Point2f pulled(static_cast<float>(signedBetween(random, 0.01, 0.02) * width),
                                 static_cast<float>(signedBetween(random, 0.01, 0.02) * height));
        to[corner] = centre + turned + pulled;
    }
    cv::Mat photo;
    cv::warpPerspective(framed, photo, cv::getPerspectiveTransform(from, to), framed.size(), cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, ground);
    return photo;
}

// `photo` lit from one side: full light at one edge, seven tenths at the
// other, along a direction the seed picks.
cv::Mat unevenlyLit(const cv::Mat& photo, cv::RNG& random) {
    const double direction = random.uniform(0.0, 2 * CV_PI);
    const double along[2] = {std::cos(direction), std::sin(direction)};
    const auto reach = [&](double x, double y) { return x * along[0] + y * along[1]; };
    const double corners[4] = {reach(0, 0), reach(photo.cols, 0), reach(0, photo.rows), reach(photo.cols, photo.rows)};
    const double nearest = *std::min_element(std::begin(corners), std::end(corners));
    const double farthest = *std::max_element(std::begin(corners), std::end(corners));
    cv::Mat light(photo.size(), CV_32FC3);
    for (int y = 0; y < photo.rows; ++y) {
        auto* row = light.ptr<cv::Vec3f>(y);
        for (int x = 0; x < photo.cols; ++x) {
            const auto level = static_cast<float>(1.0 - 0.3 * (reach(x, y) - nearest) / (farthest - nearest));
            row[x] = cv::Vec3f(level, level, level);
        }
    }
    cv::Mat lit;
    photo.convertTo(lit, CV_32FC3);
    cv::multiply(lit, light, lit);
    lit.convertTo(lit, CV_8UC3);
    return lit;
}

}  // namespace

PlatformOutcome<std::filesystem::path> photographedPage(const std::filesystem::path& rendered, unsigned seed,
                                                        const std::filesystem::path& jpeg) {
    const cv::Mat page = cv::imread(rendered.string(), cv::IMREAD_COLOR);
    if (page.empty()) {
        return PlatformError{"vision_bench", 7, "cannot read the rendered page " + rendered.string()};
    }
    cv::RNG random(seed);
    cv::Mat photo = turnedOnGround(page, random);
    cv::GaussianBlur(photo, photo, cv::Size(), random.uniform(0.8, 1.0));
    photo = unevenlyLit(photo, random);
    bool written = false;
    std::string why;
    try {
        written = cv::imwrite(jpeg.string(), photo, {cv::IMWRITE_JPEG_QUALITY, 60});
    } catch (const cv::Exception& error) {
        why = std::string(": ") + error.what();
    }
    if (!written) {
        return PlatformError{"vision_bench", 8, "cannot write the photographed page " + jpeg.string() + why};
    }
    return jpeg;
}

}  // namespace lumenary::vision_bench
