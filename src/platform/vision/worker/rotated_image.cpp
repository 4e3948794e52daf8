#include "platform/vision/worker/rotated_image.hpp"

#include <cmath>
#include <numbers>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

RotatedImage rotateImage(const cv::Mat& image, double angle) {
    const double width = image.cols;
    const double height = image.rows;
    const double cosine = std::cos(angle);
    const double sine = std::sin(angle);
    const int canvasWidth = static_cast<int>(std::floor(std::abs(width * cosine) + std::abs(height * sine)));
    const int canvasHeight = static_cast<int>(std::floor(std::abs(width * sine) + std::abs(height * cosine)));
    // OpenCV's positive angle also turns counter-clockwise on screen (its y
    // axis points down).
    cv::Mat matrix = cv::getRotationMatrix2D(cv::Point2f(static_cast<float>(width / 2), static_cast<float>(height / 2)),
                                             angle * 180.0 / std::numbers::pi, 1.0);
    matrix.at<double>(0, 2) += canvasWidth / 2.0 - width / 2;
    matrix.at<double>(1, 2) += canvasHeight / 2.0 - height / 2;
    RotatedImage rotated;
    rotated.transform = cv::Matx23d(matrix);
    if (canvasWidth <= 0 || canvasHeight <= 0) {
        rotated.image = cv::Mat(std::max(canvasHeight, 0), std::max(canvasWidth, 0), image.type());
        return rotated;
    }
    cv::warpAffine(image, rotated.image, matrix, cv::Size(canvasWidth, canvasHeight), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return rotated;
}

}  // namespace lumenary::platform::vision
