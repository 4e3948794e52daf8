#include "platform/vision/worker/feature_print_hash.hpp"

#include <algorithm>
#include <array>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

FeaturePrint featurePrintHash(const cv::Mat& rgb) {
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    cv::Mat small;
    cv::resize(grey, small, cv::Size(32, 32), 0, 0, cv::INTER_AREA);
    cv::Mat samples;
    small.convertTo(samples, CV_32F);
    cv::Mat frequencies;
    cv::dct(samples, frequencies);

    std::array<float, 64> lowest{};
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            lowest[static_cast<std::size_t>(row * 8 + column)] = frequencies.at<float>(row, column);
        }
    }
    // The mean brightness (the first coefficient) would dominate the median.
    std::array<float, 63> ordered{};
    std::copy(lowest.begin() + 1, lowest.end(), ordered.begin());
    std::nth_element(ordered.begin(), ordered.begin() + 31, ordered.end());
    const float median = ordered[31];

    FeaturePrint print;
    for (std::size_t index = 0; index < lowest.size(); ++index) {
        if (lowest[index] > median) {
            print.bits |= std::uint64_t{1} << index;
        }
    }
    return print;
}

}  // namespace lumenary::platform::vision
