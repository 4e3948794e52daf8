#pragma once

#include <memory>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "platform/platform_error.hpp"

namespace lumenary::platform::vision {

// A frame as the video shows it: 8-bit RGB, turned upright by the file's
// display rotation, with its own presentation time in seconds from the
// start of the video stream. Its rows may lie further apart than its width
// (it can be a view of the converter's padded rows): read it by its step.
struct DecodedVideoFrame {
    double timestamp = 0;
    cv::Mat rgb;
};

// The pictures of one video file, taken at exact times. Only a regular file
// is opened, and only as a file in one of the containers of the video
// extensions (MP4 and QuickTime family, Matroska and WebM, AVI): a path is
// never taken as a network address, and a playlist or a container that
// points elsewhere is refused. Errors, domain "VisionService":
//   404 "Video file not found at path: <path>"
//   400 "Failed to load video from path: <path>" (not a regular file, not
//       readable, not a video container it opens, no decoder for its video)
//   400 "No video track in file: <path>"
//   400 "Video at path <path> is too large to analyse: <w> x <h> pixels"
//       (over the image loader's pixel limit)
//   500 a frame the decoder cannot make, the message saying why
// One decoding thread; the video's frames are decoded one after another.
class VideoSource {
public:
    static PlatformOutcome<VideoSource> open(const std::string& path);

    VideoSource(VideoSource&&) noexcept;
    VideoSource& operator=(VideoSource&&) noexcept;
    ~VideoSource();

    // From the container; not a number when the file does not say.
    double durationSeconds() const;
    // Counter-clockwise degrees to turn a decoded picture for display: 0,
    // 90, 180 or 270.
    int displayRotation() const;

    // The last frame whose presentation time is at or before `seconds`
    // (the first frame for a time before it). Nothing when the stream ends
    // before `seconds`: the last frame is shown for its duration, no longer.
    // Times that move forward inside one group of pictures decode on from
    // the frame before; any other time seeks back to its key frame first.
    PlatformOutcome<std::optional<DecodedVideoFrame>> frameAt(double seconds);

private:
    struct Decoder;
    explicit VideoSource(std::unique_ptr<Decoder> decoder);

    std::unique_ptr<Decoder> decoder_;
};

}  // namespace lumenary::platform::vision
