#include "platform/vision/worker/bmp_run_length_decoding.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/vision/vision_analyzer.hpp"

namespace lumenary::platform::vision {

namespace {

PlatformError damagedRuns(const std::string& reason) {
    return visionServiceError(500, reason);
}

// The palette indices the runs write, and where the next one goes. Rows
// count from the bottom, as the data does; nothing is written past a row's
// end or the last row.
class IndexCanvas {
public:
    IndexCanvas(int width, int height) : indices_(height, width, CV_8UC1, cv::Scalar(0)) {}

    bool finished() const { return row_ >= indices_.rows; }
    // Runs have written the last row out to its end (a writer may end there
    // without the end of bitmap).
    bool lastRowWritten() const { return row_ == indices_.rows - 1 && column_ == indices_.cols; }

    // `count` pixels, the k-th taking the index `indexAt(k)`.
    template <typename IndexAt>
    void put(int count, IndexAt indexAt) {
        if (finished()) {
            return;
        }
        const int fitting = std::min(count, indices_.cols - column_);
        auto* row = indices_.ptr<std::uint8_t>(indices_.rows - 1 - row_);
        for (int index = 0; index < fitting; ++index) {
            row[column_ + index] = indexAt(index);
        }
        column_ += fitting;
    }
    void endLine() {
        column_ = 0;
        ++row_;
    }
    void move(int right, int up) {
        column_ = std::min(column_ + right, indices_.cols);
        row_ = std::min(row_ + up, indices_.rows);
    }

    const cv::Mat& indices() const { return indices_; }

private:
    cv::Mat indices_;
    int column_ = 0;
    int row_ = 0;
};

PlatformOutcome<cv::Mat> colouredByPalette(const cv::Mat& indices, const std::vector<cv::Vec3b>& palette) {
    cv::Mat rgb(indices.size(), CV_8UC3);
    for (int row = 0; row < indices.rows; ++row) {
        const auto* source = indices.ptr<std::uint8_t>(row);
        auto* target = rgb.ptr<cv::Vec3b>(row);
        for (int column = 0; column < indices.cols; ++column) {
            if (source[column] >= palette.size()) {
                return damagedRuns("a pixel names colour " + std::to_string(source[column]) + " of a palette of " +
                                   std::to_string(palette.size()));
            }
            target[column] = palette[source[column]];
        }
    }
    return rgb;
}

// The k-th pixel of a run: a byte each at 8 bits, at 4 the high half of a
// byte first.
std::uint8_t runPixel(const unsigned char* bytes, int index, bool nibbles) {
    if (!nibbles) {
        return bytes[index];
    }
    const unsigned char byte = bytes[index / 2];
    return static_cast<std::uint8_t>(index % 2 == 0 ? byte >> 4 : byte & 0x0F);
}

}  // namespace

PlatformOutcome<cv::Mat> decodeRunLengthBmp(std::string_view bytes, const BmpLayout& layout) {
    const bool nibbles = layout.compression == BmpCompression::runLength4;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t end = bytes.size();
    std::size_t at = layout.pixelOffset;
    IndexCanvas canvas(layout.width, layout.height);
    // Every pass reads two bytes or more, and writes at most one row's
    // width of pixels.
    for (bool endOfBitmap = false; !endOfBitmap && !canvas.finished();) {
        if (end - at < 2) {
            if (canvas.lastRowWritten()) {
                break;
            }
            return damagedRuns("its run-length data ends before its last row");
        }
        const int count = data[at];
        const unsigned char value = data[at + 1];
        at += 2;
        if (count > 0) {
            // An encoded run repeats one byte: at 4 bits, the two pixels in it by turns.
            canvas.put(count, [&](int index) { return nibbles ? runPixel(&value, index % 2, true) : value; });
            continue;
        }
        switch (value) {
            case 0: canvas.endLine(); break;
            case 1: endOfBitmap = true; break;
            case 2:
                if (end - at < 2) {
                    return damagedRuns("a delta in its run-length data is cut short");
                }
                canvas.move(data[at], data[at + 1]);
                at += 2;
                break;
            default: {
                // An absolute run: `value` pixels as they are, padded to
                // whole 16-bit words.
                const std::size_t length = nibbles ? (value + 1u) / 2 : value;
                if (end - at < length) {
                    return damagedRuns("an absolute run in its run-length data is cut short");
                }
                const auto* run = data + at;
                canvas.put(value, [&](int index) { return runPixel(run, index, nibbles); });
                at += std::min(end - at, length + length % 2);
            }
        }
    }
    return colouredByPalette(canvas.indices(), layout.palette);
}

}  // namespace lumenary::platform::vision
