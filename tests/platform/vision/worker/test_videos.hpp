#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include <opencv2/core.hpp>

// Video files the vision tests write with the media libraries' own encoders
// (MPEG-4 Part 2 needs no external encoder library), and what they show.
namespace lumenary::vision_test {

struct VideoRecipe {
    int frameCount = 120;
    cv::Size size{320, 240};
    int framesPerSecond = 30;
    int keyFrameInterval = 48;
    // B-frames put presentation order apart from decoding order.
    int bFrames = 0;
    // A muxer name: "mp4", "matroska", "avi", ...
    std::string container = "mp4";
    std::string encoder = "mpeg4";
    // The encoder's own options ("preset", "crf" for libx264, ...).
    std::map<std::string, std::string> encoderOptions;
    // Written as the stream's display matrix (av_display_rotation_set) when
    // not 0.
    double displayRotation = 0;
    // The 8-bit RGB picture of each frame, at `size`; by default its index
    // as a QR code.
    std::function<cv::Mat(int index, cv::Size size)> picture;
};

// Writes the video; returns the path, throws when it cannot. Every packet
// carries its duration, so the container's duration is frameCount / rate.
std::string writtenVideo(const std::filesystem::path& path, const VideoRecipe& recipe);

// A Matroska file with one second of PCM sound and no picture.
std::string writtenAudioOnlyFile(const std::filesystem::path& path);

// `index` as a QR code in the top-left part of a white frame.
cv::Mat indexedFrame(int index, cv::Size size);
// The index a frame's QR code holds; -1 when none is read.
int frameIndexShown(const cv::Mat& rgb);

}  // namespace lumenary::vision_test
