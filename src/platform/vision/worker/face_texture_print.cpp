#include "platform/vision/worker/face_texture_print.hpp"

#include <array>
#include <bit>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace lumenary::platform::vision {

namespace {

constexpr int gridSide = 8;
constexpr int binCount = 59;

// Each 8-bit code's bin: the uniform codes in ascending order, then one bin
// for the rest.
const std::array<std::uint8_t, 256>& binOfCode() {
    static const auto bins = [] {
        std::array<std::uint8_t, 256> table{};
        std::uint8_t next = 0;
        for (unsigned code = 0; code < 256; ++code) {
            const auto rotated = static_cast<std::uint8_t>((code >> 1) | ((code & 1U) << 7));
            const bool uniform = std::popcount(static_cast<unsigned>(code ^ rotated)) <= 2;
            table[code] = uniform ? next++ : static_cast<std::uint8_t>(binCount - 1);
        }
        return table;
    }();
    return bins;
}

}  // namespace

FaceFeaturePrint faceTexturePrint(const cv::Mat& alignedGrey) {
    cv::Mat equalised;
    cv::equalizeHist(alignedGrey, equalised);
    // The edge pixels take their neighbours from a copy of the edge, so every
    // cell counts the same number of codes.
    cv::Mat padded;
    cv::copyMakeBorder(equalised, padded, 1, 1, 1, 1, cv::BORDER_REPLICATE);

    const int side = alignedGrey.rows;
    const int cellSide = side / gridSide;
    const auto& bins = binOfCode();
    FaceFeaturePrint print;
    print.values.assign(static_cast<std::size_t>(gridSide * gridSide * binCount), 0.0F);
    // The ring of neighbours in order around the centre.
    constexpr std::array<std::array<int, 2>, 8> ring = {
        {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}}};
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const auto centre = padded.at<std::uint8_t>(row + 1, column + 1);
            unsigned code = 0;
            for (std::size_t neighbour = 0; neighbour < ring.size(); ++neighbour) {
                const auto value = padded.at<std::uint8_t>(row + 1 + ring[neighbour][0], column + 1 + ring[neighbour][1]);
                code |= static_cast<unsigned>(value >= centre) << neighbour;
            }
            const int cell = std::min(row / cellSide, gridSide - 1) * gridSide + std::min(column / cellSide, gridSide - 1);
            print.values[static_cast<std::size_t>(cell * binCount + bins[code])] += 1.0F;
        }
    }
    for (int cell = 0; cell < gridSide * gridSide; ++cell) {
        float total = 0;
        for (int bin = 0; bin < binCount; ++bin) {
            total += print.values[static_cast<std::size_t>(cell * binCount + bin)];
        }
        if (total > 0) {
            for (int bin = 0; bin < binCount; ++bin) {
                print.values[static_cast<std::size_t>(cell * binCount + bin)] /= total;
            }
        }
    }
    return print;
}

}  // namespace lumenary::platform::vision
