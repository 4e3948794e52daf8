#include "platform/vision/worker/bmp_files.hpp"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <vector>

namespace lumenary::vision_test {

namespace {

void appendField(std::string& out, std::uint32_t value, int bytes) {
    for (int index = 0; index < bytes; ++index) {
        out.push_back(static_cast<char>((value >> (8 * index)) & 0xFF));
    }
}

void padToFour(std::string& out, std::size_t rowStart) {
    while ((out.size() - rowStart) % 4 != 0) {
        out.push_back('\0');
    }
}

std::array<std::uint32_t, 4> masksOf(const BmpForm& form) {
    if (form.masks != std::array<std::uint32_t, 4>{}) {
        return form.masks;
    }
    if (form.bitsPerPixel == 16) {
        return {0x7C00, 0x03E0, 0x001F, 0};
    }
    return {0xFF0000, 0x00FF00, 0x0000FF, 0};
}

// A channel's top bits where its mask puts them; an alpha mask gets opaque.
std::uint32_t packed(const cv::Vec3b& pixel, const std::array<std::uint32_t, 4>& masks) {
    std::uint32_t value = 0;
    for (int channel = 0; channel < 4; ++channel) {
        const auto mask = masks[static_cast<std::size_t>(channel)];
        if (mask != 0) {
            const int bits = std::popcount(mask);
            const std::uint32_t sample = channel < 3 ? pixel[channel] : 255;
            value |= (sample >> (8 - bits)) << std::countr_zero(mask);
        }
    }
    return value;
}

struct Indexed {
    std::vector<cv::Vec3b> palette;
    std::vector<std::vector<std::uint8_t>> rows;  // top row first
};

Indexed indexed(const cv::Mat& rgb, const BmpForm& form) {
    Indexed result;
    if (form.greyLevelPalette) {
        for (int level = 0; level < 256; ++level) {
            result.palette.push_back(cv::Vec3b::all(static_cast<std::uint8_t>(level)));
        }
    }
    for (int row = 0; row < rgb.rows; ++row) {
        auto& indices = result.rows.emplace_back();
        for (int column = 0; column < rgb.cols; ++column) {
            const auto pixel = rgb.at<cv::Vec3b>(row, column);
            auto found = std::find(result.palette.begin(), result.palette.end(), pixel);
            if (found == result.palette.end()) {
                if (result.palette.size() == (std::size_t{1} << form.bitsPerPixel)) {
                    throw std::runtime_error("too many colours for the palette");
                }
                found = result.palette.insert(result.palette.end(), pixel);
            }
            indices.push_back(static_cast<std::uint8_t>(found - result.palette.begin()));
        }
    }
    return result;
}

// One row of indices, run-length encoded at 8 or 4 bits a pixel, without
// its end of line.
void encodeRow(std::string& out, const std::vector<std::uint8_t>& row, const BmpForm& form) {
    const bool nibbles = form.bitsPerPixel == 4;
    const std::size_t width = row.size();
    const auto zero = [&](std::size_t at) { return form.skipsIndexZero && row[at] == 0; };
    std::size_t column = 0;
    while (column < width) {
        if (zero(column)) {
            std::size_t end = column;
            while (end < width && row[end] == 0 && end - column < 255) {
                ++end;
            }
            if (end == width) {
                return;
            }
            appendField(out, 0, 1), appendField(out, 2, 1),
                appendField(out, static_cast<std::uint32_t>(end - column), 1), appendField(out, 0, 1);
            column = end;
            continue;
        }
        std::size_t same = column + 1;
        while (same < width && row[same] == row[column] && same - column < 255) {
            ++same;
        }
        std::size_t differing = column;
        while (form.absoluteRuns && differing < width && differing - column < 254 && !zero(differing) &&
               !(differing + 1 < width && row[differing] == row[differing + 1])) {
            ++differing;
        }
        if (differing - column < 3) {
            appendField(out, static_cast<std::uint32_t>(same - column), 1);
            appendField(out, nibbles ? row[column] * 17u : row[column], 1);
            column = same;
            continue;
        }
        const std::size_t start = out.size();
        appendField(out, 0, 1), appendField(out, static_cast<std::uint32_t>(differing - column), 1);
        for (std::size_t at = column; at < differing; at += nibbles ? 2 : 1) {
            const std::uint32_t second = nibbles && at + 1 < differing ? row[at + 1] : 0;
            appendField(out, nibbles ? row[at] << 4 | second : row[at], 1);
        }
        if ((out.size() - start) % 2 != 0) {
            out.push_back('\0');
        }
        column = differing;
    }
}

std::string runLengthPixels(const Indexed& image, const BmpForm& form) {
    std::string out;
    const auto blank = [](const std::vector<std::uint8_t>& row) {
        return std::all_of(row.begin(), row.end(), [](std::uint8_t index) { return index == 0; });
    };
    // Bottom-up: the last row first.
    for (std::size_t row = image.rows.size(); row-- > 0;) {
        if (form.skipsIndexZero && blank(image.rows[row])) {
            std::size_t above = row;
            while (above > 0 && blank(image.rows[above - 1]) && row - above < 254) {
                --above;
            }
            if (above == 0) {
                break;
            }
            appendField(out, 0, 1), appendField(out, 2, 1), appendField(out, 0, 1),
                appendField(out, static_cast<std::uint32_t>(row - above + 1), 1);
            row = above;
            continue;
        }
        auto indices = image.rows[row];
        if (form.encodesRowPadding) {
            const auto paddedBits = (indices.size() * static_cast<std::size_t>(form.bitsPerPixel) + 31) / 32 * 32;
            indices.resize(paddedBits / static_cast<std::size_t>(form.bitsPerPixel), 0);
        }
        encodeRow(out, indices, form);
        appendField(out, 0, 2);
    }
    appendField(out, 0, 1), appendField(out, 1, 1);
    return out;
}

std::string plainPixels(const cv::Mat& rgb, const Indexed& image, const BmpForm& form) {
    std::string out;
    const auto masks = masksOf(form);
    for (int step = 0; step < rgb.rows; ++step) {
        const int row = form.topDown ? step : rgb.rows - 1 - step;
        const std::size_t start = out.size();
        if (form.bitsPerPixel <= 8) {
            const int perByte = 8 / form.bitsPerPixel;
            const auto& indices = image.rows[static_cast<std::size_t>(row)];
            for (std::size_t column = 0; column < indices.size(); column += static_cast<std::size_t>(perByte)) {
                std::uint32_t byte = 0;
                for (int part = 0; part < perByte; ++part) {
                    const std::size_t at = column + static_cast<std::size_t>(part);
                    byte = byte << form.bitsPerPixel | (at < indices.size() ? indices[at] : 0u);
                }
                appendField(out, byte, 1);
            }
        }
        for (int column = 0; column < rgb.cols && form.bitsPerPixel > 8; ++column) {
            const auto pixel = rgb.at<cv::Vec3b>(row, column);
            if (form.bitsPerPixel == 24) {
                appendField(out, pixel[2], 1), appendField(out, pixel[1], 1), appendField(out, pixel[0], 1);
            } else {
                appendField(out, packed(pixel, masks), form.bitsPerPixel / 8);
            }
        }
        padToFour(out, start);
    }
    return out;
}

}  // namespace

BmpForm imageMagickGreyForm() {
    BmpForm form{8, BmpCompression::runLength, BmpInfoHeader::version5};
    form.absoluteRuns = false;
    form.encodesRowPadding = true;
    form.greyLevelPalette = true;
    return form;
}

std::string bmpBytes(const cv::Mat& rgb, const BmpForm& form) {
    const bool paletted = form.bitsPerPixel <= 8;
    const Indexed image = paletted ? indexed(rgb, form) : Indexed{};
    const std::string pixels =
        form.compression == BmpCompression::runLength ? runLengthPixels(image, form) : plainPixels(rgb, image, form);
    const auto masks = masksOf(form);
    std::string info;
    if (form.infoHeader == BmpInfoHeader::core) {
        appendField(info, 12, 4), appendField(info, static_cast<std::uint32_t>(rgb.cols), 2);
        appendField(info, static_cast<std::uint32_t>(rgb.rows), 2), appendField(info, 1, 2);
        appendField(info, static_cast<std::uint32_t>(form.bitsPerPixel), 2);
    } else {
        const int size = form.infoHeader == BmpInfoHeader::windows    ? 40
                         : form.infoHeader == BmpInfoHeader::version4 ? 108
                                                                      : 124;
        const std::uint32_t compression = form.compression == BmpCompression::none        ? 0
                                          : form.compression == BmpCompression::bitFields ? 3
                                          : form.bitsPerPixel == 8                        ? 1
                                                                                          : 2;
        appendField(info, static_cast<std::uint32_t>(size), 4),
            appendField(info, static_cast<std::uint32_t>(rgb.cols), 4);
        appendField(info, static_cast<std::uint32_t>(form.topDown ? -rgb.rows : rgb.rows), 4), appendField(info, 1, 2);
        appendField(info, static_cast<std::uint32_t>(form.bitsPerPixel), 2), appendField(info, compression, 4);
        appendField(info, static_cast<std::uint32_t>(pixels.size()), 4), appendField(info, 2835, 4),
            appendField(info, 2835, 4);
        appendField(info, static_cast<std::uint32_t>(image.palette.size()), 4), appendField(info, 0, 4);
        if (size > 40) {
            for (const auto mask : masks) {
                appendField(info, mask, 4);
            }
            appendField(info, 0x73524742, 4);  // "sRGB"
            info.append(48, '\0');             // end points and gammas, unused with sRGB
        }
        if (size > 108) {
            appendField(info, 4, 4);  // rendering intent: pictures
            info.append(12, '\0');
        }
        if (size == 40 && form.compression == BmpCompression::bitFields) {
            appendField(info, masks[0], 4), appendField(info, masks[1], 4), appendField(info, masks[2], 4);
        }
    }
    std::string palette;
    if (paletted) {
        const std::size_t entries =
            form.infoHeader == BmpInfoHeader::core ? std::size_t{1} << form.bitsPerPixel : image.palette.size();
        for (std::size_t entry = 0; entry < entries; ++entry) {
            const cv::Vec3b colour = entry < image.palette.size() ? image.palette[entry] : cv::Vec3b{};
            appendField(palette, colour[2], 1), appendField(palette, colour[1], 1), appendField(palette, colour[0], 1);
            if (form.infoHeader != BmpInfoHeader::core) {
                appendField(palette, 0, 1);
            }
        }
    }
    std::string file = "BM";
    const auto offset = static_cast<std::uint32_t>(14 + info.size() + palette.size());
    appendField(file, offset + static_cast<std::uint32_t>(pixels.size()), 4), appendField(file, 0, 4),
        appendField(file, offset, 4);
    return file + info + palette + pixels;
}

}  // namespace lumenary::vision_test
