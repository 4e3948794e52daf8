#include "platform/vision/worker/video_source.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/macros.h>
}

#include "platform/vision/vision_analyzer.hpp"
#include "platform/vision/worker/image_loader.hpp"
#include "platform/vision/worker/media_handles.hpp"

namespace lumenary::platform::vision {

namespace {

// Times and durations come from the file, which may claim anything: sums
// and products of them stop at the ends of the range instead of wrapping.
std::int64_t saturatedSum(std::int64_t first, std::int64_t second) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(first, second, &sum)) {
        return second > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

std::int64_t saturatedDifference(std::int64_t first, std::int64_t second) {
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(first, second, &difference)) {
        return second < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return difference;
}

std::int64_t saturatedProduct(std::int64_t first, std::int64_t second) {
    std::int64_t product = 0;
    if (__builtin_mul_overflow(first, second, &product)) {
        return (first < 0) != (second < 0) ? std::numeric_limits<std::int64_t>::min()
                                           : std::numeric_limits<std::int64_t>::max();
    }
    return product;
}

// The demuxers of the video extensions the search accepts; a file that
// probes as anything else (a playlist, a concatenation list, an image
// sequence) is refused before it can name another resource.
constexpr const char* videoContainers = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi";

// A key frame that cannot be reached by seeking to the time itself (an
// index keyed by decoding time, for instance) is looked for this many times
// further back before the decoder starts from the beginning.
constexpr int seekRetries = 4;

// Without an index the seek is a search of its own; up to this far ahead,
// decoding on costs less.
constexpr double decodeOnWithoutIndexSeconds = 2.0;

std::string mediaErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

PlatformError loadFailure(const std::string& path) {
    return visionServiceError(400, "Failed to load video from path: " + path);
}

void quietenMediaLibraries() {
    // Their notes on every damaged packet would flood the server's log;
    // what matters reaches the caller as an error.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

int displayRotationOf(const AVStream* stream) {
    std::size_t size = 0;
    const auto* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(std::int32_t)) {
        return 0;
    }
    const double degrees = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (!std::isfinite(degrees)) {
        return 0;
    }
    // Only quarter turns are shown by players; a matrix that says 89.9
    // means 90.
    const long quarterTurns = std::lround(degrees / 90.0);
    return static_cast<int>(((quarterTurns % 4) + 4) % 4) * 90;
}

double durationOf(const AVFormatContext* format, const AVStream* stream) {
    if (format->duration != AV_NOPTS_VALUE && format->duration >= 0) {
        return static_cast<double>(format->duration) / AV_TIME_BASE;
    }
    if (stream->duration != AV_NOPTS_VALUE && stream->duration >= 0) {
        return static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

// Where libswscale writes a `width` x `height` RGB picture. Its vector code
// converts whole blocks of pixels: it writes past the end of a row whose
// stride is not a multiple of its block, and past the buffer on the last
// row; with a stride shorter than its block it leaves the row's last
// pixels unwritten instead. So the rows are laid out as FFmpeg lays out its
// own frames (a width padded to 64 pixels, which makes the stride a
// multiple of 64 bytes), with a spare row after the last for the blocks the
// last row overruns. The picture is the top-left `width` x `height` of it.
cv::Mat scalerDestination(int width, int height) {
    constexpr int rowAlignment = 64;
    static_assert(3 * rowAlignment >= AV_INPUT_BUFFER_PADDING_SIZE, "the spare row pads as much as FFmpeg asks");
    return cv::Mat(height + 1, FFALIGN(width, rowAlignment), CV_8UC3);
}

}  // namespace

struct VideoSource::Decoder {
    FormatContextHandle format;
    CodecContextHandle codec;
    AVStream* stream = nullptr;
    PacketHandle packet{av_packet_alloc()};
    FrameHandle incoming{av_frame_alloc()};
    // The last frame at or before the time asked last, and the first frame
    // after it: decoding on for a later time starts from these.
    FrameHandle previous;
    FrameHandle overshoot;
    ScalerHandle scaler;
    bool positioned = false;    // frames since the last seek belong to one run
    bool inputEnded = false;    // the decoder was told no packet follows
    bool decoderEnded = false;  // and has given its last frame
    std::int64_t startTicks = 0;
    std::int64_t frameTicks = 0;  // one frame's duration when a frame does not say
    double duration = 0;
    int rotation = 0;

    std::int64_t ticksFor(double seconds) const {
        // To the nearest tick: a container that counts in milliseconds
        // stores the frame of 2/30 s at 67 ms, and it is that frame that
        // 2/30 s asks for.
        const double ticks = std::round(seconds / av_q2d(stream->time_base));
        // Times past the representable range lie past any stream's end.
        constexpr double limit = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 4);
        return saturatedSum(startTicks, static_cast<std::int64_t>(std::clamp(ticks, -limit, limit)));
    }

    double secondsFor(std::int64_t ticks) const {
        return static_cast<double>(saturatedDifference(ticks, startTicks)) * av_q2d(stream->time_base);
    }

    std::int64_t durationTicks(const AVFrame* frame) const {
        return frame->pkt_duration > 0 ? frame->pkt_duration : frameTicks;
    }

    std::int64_t position() const {
        return overshoot ? overshoot->pts : previous ? previous->pts : std::numeric_limits<std::int64_t>::min();
    }

    // Whether the frame at `target` is reached by decoding on from where
    // the decoder stands, without skipping a key frame.
    bool canDecodeOnTo(std::int64_t target) const {
        if (!positioned || (!previous && !overshoot)) {
            return false;
        }
        if (previous && target < previous->pts) {
            return false;
        }
        if (!previous && target < overshoot->pts) {
            return false;
        }
        if (decoderEnded || (overshoot && target < overshoot->pts)) {
            return true;
        }
        const AVIndexEntry* keyFrame = avformat_index_get_entry_from_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        if (keyFrame == nullptr) {
            return secondsFor(target) - secondsFor(position()) < decodeOnWithoutIndexSeconds;
        }
        return keyFrame->timestamp <= position();
    }

    PlatformOutcome<bool> seek(std::int64_t target) {
        avcodec_flush_buffers(codec.get());
        previous.reset();
        overshoot.reset();
        positioned = true;
        inputEnded = false;
        decoderEnded = false;
        int result = av_seek_frame(format.get(), stream->index, target, AVSEEK_FLAG_BACKWARD);
        if (result < 0) {
            result = av_seek_frame(format.get(), stream->index, startTicks, AVSEEK_FLAG_BACKWARD);
        }
        if (result < 0) {
            positioned = false;
            return visionServiceError(500, "Failed to seek in the video: " + mediaErrorText(result));
        }
        return true;
    }

    // Decodes the next frame into `overshoot`, which must be empty; false
    // at the end of the stream.
    PlatformOutcome<bool> decodeNext() {
        for (;;) {
            const int received = avcodec_receive_frame(codec.get(), incoming.get());
            if (received == 0) {
                auto& frame = *incoming;
                frame.pts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp
                            : previous ? saturatedSum(previous->pts, durationTicks(previous.get()))
                                       : startTicks;
                overshoot = std::move(incoming);
                incoming.reset(av_frame_alloc());
                if (!incoming) {
                    throw std::bad_alloc();
                }
                return true;
            }
            if (received == AVERROR_EOF) {
                decoderEnded = true;
                return false;
            }
            if (received != AVERROR(EAGAIN)) {
                return visionServiceError(500, "Failed to decode the video: " + mediaErrorText(received));
            }
            if (inputEnded) {
                decoderEnded = true;
                return false;
            }
            const int read = av_read_frame(format.get(), packet.get());
            if (read < 0) {
                // The end, or a file cut short: either way the frames
                // decoded so far are all there are.
                inputEnded = true;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            if (packet->stream_index == stream->index) {
                // A damaged packet costs its own frame, not the rest.
                avcodec_send_packet(codec.get(), packet.get());
            }
            av_packet_unref(packet.get());
        }
    }

    // The frame as RGB, upright; empty when the scaler cannot convert it.
    cv::Mat picture(const AVFrame& frame) {
        const auto pixelFormat = static_cast<AVPixelFormat>(frame.format);
        scaler.reset(sws_getCachedContext(scaler.release(), frame.width, frame.height, pixelFormat, frame.width,
                                          frame.height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler) {
            return {};
        }
        cv::Mat scaled = scalerDestination(frame.width, frame.height);
        std::uint8_t* planes[4] = {scaled.data, nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(scaled.step), 0, 0, 0};
        if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != frame.height) {
            return {};
        }
        const cv::Mat rgb = scaled(cv::Rect(0, 0, frame.width, frame.height));
        cv::Mat upright;
        switch (rotation) {
            case 90: cv::rotate(rgb, upright, cv::ROTATE_90_COUNTERCLOCKWISE); return upright;
            case 180: cv::rotate(rgb, upright, cv::ROTATE_180); return upright;
            case 270: cv::rotate(rgb, upright, cv::ROTATE_90_CLOCKWISE); return upright;
            default: return rgb;
        }
    }

    PlatformOutcome<std::optional<DecodedVideoFrame>> delivered(const AVFrame& frame) {
        // The picture's size may change inside the stream, past the check
        // made on opening.
        if (std::int64_t{frame.width} * frame.height > maximumImagePixels) {
            return visionServiceError(500, "A video frame is too large to analyse: " + std::to_string(frame.width) +
                                               " x " + std::to_string(frame.height) + " pixels");
        }
        auto rgb = picture(frame);
        if (rgb.empty()) {
            return visionServiceError(
                500, "Failed to convert a video frame of pixel format " + std::to_string(frame.format) + " to RGB");
        }
        return std::optional<DecodedVideoFrame>(DecodedVideoFrame{secondsFor(frame.pts), std::move(rgb)});
    }

    PlatformOutcome<std::optional<DecodedVideoFrame>> frameAt(double seconds) {
        if (std::isnan(seconds)) {
            return visionServiceError(400, "A video frame was asked for at a time that is not a number");
        }
        const std::int64_t target = ticksFor(seconds);
        if (!canDecodeOnTo(target)) {
            if (auto sought = seek(target); !sought) {
                return sought.error();
            }
        }
        int retries = 0;
        for (;;) {
            if (overshoot && overshoot->pts <= target) {
                previous = std::move(overshoot);
            }
            if (overshoot && previous) {
                return delivered(*previous);
            }
            if (overshoot) {
                // The run began after the time asked: its key frame lies
                // further back than the seek went.
                const std::int64_t first = overshoot->pts;
                if (target >= startTicks && first > startTicks && retries < seekRetries) {
                    ++retries;
                    // Each retry reaches twice as far back as the one before.
                    const std::int64_t step =
                        std::max<std::int64_t>({saturatedDifference(first, target), frameTicks, 1});
                    const std::int64_t earlier =
                        retries == seekRetries
                            ? startTicks
                            : std::max(startTicks,
                                       saturatedDifference(target, saturatedProduct(step, std::int64_t{1} << retries)));
                    if (auto sought = seek(earlier); !sought) {
                        return sought.error();
                    }
                    continue;
                }
                return delivered(*overshoot);
            }
            auto decoded = decodeNext();
            if (!decoded) {
                return decoded.error();
            }
            if (!decoded.value()) {
                if (previous &&
                    target < saturatedSum(previous->pts, std::max<std::int64_t>(durationTicks(previous.get()), 1))) {
                    return delivered(*previous);
                }
                return std::optional<DecodedVideoFrame>();
            }
        }
    }
};

PlatformOutcome<VideoSource> VideoSource::open(const std::string& path) {
    quietenMediaLibraries();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return visionServiceError(404, "Video file not found at path: " + path);
        }
        return loadFailure(path);
    }
    if (!S_ISREG(status.st_mode)) {
        return loadFailure(path);
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    if (error) {
        return loadFailure(path);
    }
    // The prefix keeps a colon in the path from naming a protocol; the
    // whitelists keep the file from naming anything beyond itself.
    const std::string url = "file:" + absolute.string();
    AVDictionary* rawOptions = nullptr;
    av_dict_set(&rawOptions, "protocol_whitelist", "file", 0);
    av_dict_set(&rawOptions, "format_whitelist", videoContainers, 0);
    DictionaryHandle options(rawOptions);

    auto decoder = std::make_unique<Decoder>();
    if (!decoder->packet || !decoder->incoming) {
        throw std::bad_alloc();
    }
    AVFormatContext* rawFormat = nullptr;
    rawOptions = options.release();
    const int opened = avformat_open_input(&rawFormat, url.c_str(), nullptr, &rawOptions);
    options.reset(rawOptions);
    if (opened < 0) {
        return loadFailure(path);
    }
    decoder->format.reset(rawFormat);
    if (avformat_find_stream_info(rawFormat, nullptr) < 0) {
        return loadFailure(path);
    }
    const AVCodec* codec = nullptr;
    const int streamIndex = av_find_best_stream(rawFormat, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex == AVERROR_STREAM_NOT_FOUND ||
        (streamIndex >= 0 && (rawFormat->streams[streamIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0)) {
        // A cover picture beside the sound is no video either.
        return visionServiceError(400, "No video track in file: " + path);
    }
    if (streamIndex < 0 || codec == nullptr) {
        return loadFailure(path);
    }
    decoder->stream = rawFormat->streams[streamIndex];
    const auto* parameters = decoder->stream->codecpar;
    if (std::int64_t{parameters->width} * parameters->height > maximumImagePixels) {
        return visionServiceError(400, "Video at path " + path +
                                           " is too large to analyse: " + std::to_string(parameters->width) + " x " +
                                           std::to_string(parameters->height) + " pixels");
    }
    decoder->codec.reset(avcodec_alloc_context3(codec));
    if (!decoder->codec) {
        throw std::bad_alloc();
    }
    if (avcodec_parameters_to_context(decoder->codec.get(), decoder->stream->codecpar) < 0) {
        return loadFailure(path);
    }
    decoder->codec->thread_count = 1;
    decoder->codec->pkt_timebase = decoder->stream->time_base;
    if (avcodec_open2(decoder->codec.get(), codec, nullptr) < 0) {
        return loadFailure(path);
    }
    // Everything else in the file is read past unopened.
    for (unsigned index = 0; index < rawFormat->nb_streams; ++index) {
        if (static_cast<int>(index) != streamIndex) {
            rawFormat->streams[index]->discard = AVDISCARD_ALL;
        }
    }
    decoder->startTicks = decoder->stream->start_time != AV_NOPTS_VALUE ? decoder->stream->start_time : 0;
    const AVRational frameRate =
        decoder->stream->avg_frame_rate.num > 0 ? decoder->stream->avg_frame_rate : decoder->stream->r_frame_rate;
    decoder->frameTicks =
        frameRate.num > 0 && frameRate.den > 0 ? av_rescale_q(1, av_inv_q(frameRate), decoder->stream->time_base) : 0;
    decoder->duration = durationOf(rawFormat, decoder->stream);
    decoder->rotation = displayRotationOf(decoder->stream);
    return VideoSource(std::move(decoder));
}

VideoSource::VideoSource(std::unique_ptr<Decoder> decoder) : decoder_(std::move(decoder)) {}
VideoSource::VideoSource(VideoSource&&) noexcept = default;
VideoSource& VideoSource::operator=(VideoSource&&) noexcept = default;
VideoSource::~VideoSource() = default;

double VideoSource::durationSeconds() const {
    return decoder_->duration;
}

int VideoSource::displayRotation() const {
    return decoder_->rotation;
}

PlatformOutcome<std::optional<DecodedVideoFrame>> VideoSource::frameAt(double seconds) {
    return decoder_->frameAt(seconds);
}

}  // namespace lumenary::platform::vision
