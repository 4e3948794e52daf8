#include "platform/vision/worker/test_videos.hpp"

#include <cstdint>
#include <memory>
#include <stdexcept>

#include <ZXing/BarcodeFormat.h>
#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/frame.h>
#include <libavutil/macros.h>
#include <libswscale/swscale.h>
}

#include "platform/vision/worker/barcode_reader.hpp"
#include "platform/vision/worker/media_handles.hpp"
#include "platform/vision/worker/test_images.hpp"

namespace lumenary::vision_test {

namespace {

using namespace platform::vision;

void check(int result, const char* what) {
    if (result < 0) {
        throw std::runtime_error(std::string("cannot write the test video: ") + what + " failed (" +
                                 std::to_string(result) + ")");
    }
}

template <typename Pointer>
Pointer* checked(Pointer* pointer, const char* what) {
    if (pointer == nullptr) {
        throw std::runtime_error(std::string("cannot write the test video: ") + what + " failed");
    }
    return pointer;
}

// An output file's context with its file, closed and freed together.
struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if ((context->oformat->flags & AVFMT_NOFILE) == 0) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
using OutputHandle = std::unique_ptr<AVFormatContext, OutputCloser>;

OutputHandle openedOutput(const std::filesystem::path& path, const std::string& container) {
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, container.c_str(), path.c_str()), "the muxer");
    OutputHandle output(raw);
    if ((output->oformat->flags & AVFMT_NOFILE) == 0) {
        check(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), "opening the file");
    }
    return output;
}

// Sends `frame` (nothing to flush) and writes every packet that comes out,
// each with its duration.
void encoded(AVCodecContext& encoder, AVFrame* frame, AVFormatContext& output, AVStream& stream,
             std::int64_t duration) {
    check(avcodec_send_frame(&encoder, frame), "encoding");
    PacketHandle packet(checked(av_packet_alloc(), "a packet"));
    for (;;) {
        const int received = avcodec_receive_packet(&encoder, packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        check(received, "encoding");
        packet->duration = duration;
        av_packet_rescale_ts(packet.get(), encoder.time_base, stream.time_base);
        packet->stream_index = stream.index;
        check(av_interleaved_write_frame(&output, packet.get()), "writing a packet");
    }
}

}  // namespace

cv::Mat indexedFrame(int index, cv::Size size) {
    const int moduleSize = std::max(2, std::min(size.width, size.height) / 60);
    const cv::Mat code = drawnBarcode(ZXing::BarcodeFormat::QRCode, std::to_string(index), moduleSize);
    return placedOnCanvas(code, size, {size.width / 16, size.height / 16});
}

int frameIndexShown(const cv::Mat& rgb) {
    const auto codes = readBarcodes(rgb);
    if (!codes || codes.value().size() != 1 || !codes.value().front().payload) {
        return -1;
    }
    try {
        return std::stoi(*codes.value().front().payload);
    } catch (const std::exception&) {
        return -1;
    }
}

std::string writtenVideo(const std::filesystem::path& path, const VideoRecipe& recipe) {
    // The encoders' reports of what they did would bury a test's own output.
    av_log_set_level(AV_LOG_ERROR);
    auto output = openedOutput(path, recipe.container);
    const AVCodec* codec = checked(avcodec_find_encoder_by_name(recipe.encoder.c_str()), "finding the encoder");
    AVStream* stream = checked(avformat_new_stream(output.get(), nullptr), "adding the stream");
    CodecContextHandle encoder(checked(avcodec_alloc_context3(codec), "the encoder"));
    encoder->width = recipe.size.width;
    encoder->height = recipe.size.height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = {1, recipe.framesPerSecond};
    encoder->framerate = {recipe.framesPerSecond, 1};
    encoder->gop_size = recipe.keyFrameInterval;
    encoder->max_b_frames = recipe.bFrames;
    encoder->thread_count = 1;
    if (recipe.encoderOptions.empty()) {
        // A fixed, good quality: every QR code must survive the encoding.
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 3;
    }
    if ((output->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* rawOptions = nullptr;
    for (const auto& [key, value] : recipe.encoderOptions) {
        av_dict_set(&rawOptions, key.c_str(), value.c_str(), 0);
    }
    const int opened = avcodec_open2(encoder.get(), codec, &rawOptions);
    DictionaryHandle options(rawOptions);
    check(opened, "opening the encoder");
    check(avcodec_parameters_from_context(stream->codecpar, encoder.get()), "the stream's parameters");
    stream->time_base = encoder->time_base;
    if (recipe.displayRotation != 0) {
        auto* matrix = checked(av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)),
                               "the display matrix");
        av_display_rotation_set(reinterpret_cast<std::int32_t*>(matrix), recipe.displayRotation);
    }
    check(avformat_write_header(output.get(), nullptr), "the header");

    FrameHandle frame(checked(av_frame_alloc(), "a frame"));
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = recipe.size.width;
    frame->height = recipe.size.height;
    check(av_frame_get_buffer(frame.get(), 0), "a frame's buffer");
    ScalerHandle scaler(checked(sws_getContext(recipe.size.width, recipe.size.height, AV_PIX_FMT_RGB24,
                                               recipe.size.width, recipe.size.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                               nullptr, nullptr, nullptr),
                                "the converter"));
    const auto picture = recipe.picture ? recipe.picture : indexedFrame;
    // The converter reads whole blocks of pixels, past the end of a row and
    // of the last one: it reads each picture from rows padded as FFmpeg pads
    // its own, with a spare row, all of it written.
    cv::Mat padded = cv::Mat::zeros(recipe.size.height + 1, FFALIGN(recipe.size.width, 64), CV_8UC3);
    cv::Mat paddedPicture = padded(cv::Rect({0, 0}, recipe.size));
    for (int index = 0; index < recipe.frameCount; ++index) {
        cv::Mat rgb = picture(index, recipe.size);
        if (rgb.size() != recipe.size || rgb.type() != CV_8UC3) {
            throw std::runtime_error("cannot write the test video: a picture of the wrong size or type");
        }
        rgb.copyTo(paddedPicture);
        check(av_frame_make_writable(frame.get()), "a writable frame");
        const std::uint8_t* planes[4] = {padded.data, nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(padded.step), 0, 0, 0};
        sws_scale(scaler.get(), planes, strides, 0, recipe.size.height, frame->data, frame->linesize);
        frame->pts = index;
        encoded(*encoder, frame.get(), *output, *stream, 1);
    }
    encoded(*encoder, nullptr, *output, *stream, 1);
    check(av_write_trailer(output.get()), "the trailer");
    return path.string();
}

std::string writtenAudioOnlyFile(const std::filesystem::path& path) {
    av_log_set_level(AV_LOG_ERROR);
    constexpr int sampleRate = 8000;
    auto output = openedOutput(path, "matroska");
    const AVCodec* codec = checked(avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE), "finding the encoder");
    AVStream* stream = checked(avformat_new_stream(output.get(), nullptr), "adding the stream");
    CodecContextHandle encoder(checked(avcodec_alloc_context3(codec), "the encoder"));
    encoder->sample_fmt = AV_SAMPLE_FMT_S16;
    encoder->sample_rate = sampleRate;
    av_channel_layout_default(&encoder->ch_layout, 1);
    encoder->time_base = {1, sampleRate};
    check(avcodec_open2(encoder.get(), codec, nullptr), "opening the encoder");
    check(avcodec_parameters_from_context(stream->codecpar, encoder.get()), "the stream's parameters");
    stream->time_base = encoder->time_base;
    check(avformat_write_header(output.get(), nullptr), "the header");
    FrameHandle frame(checked(av_frame_alloc(), "a frame"));
    frame->format = AV_SAMPLE_FMT_S16;
    frame->nb_samples = sampleRate / 10;
    frame->sample_rate = sampleRate;
    check(av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout), "the channel layout");
    check(av_frame_get_buffer(frame.get(), 0), "a frame's buffer");
    for (int part = 0; part < 10; ++part) {
        check(av_frame_make_writable(frame.get()), "a writable frame");
        std::fill_n(frame->data[0], frame->nb_samples * 2, std::uint8_t{0});
        frame->pts = part * frame->nb_samples;
        encoded(*encoder, frame.get(), *output, *stream, frame->nb_samples);
    }
    encoded(*encoder, nullptr, *output, *stream, frame->nb_samples);
    check(av_write_trailer(output.get()), "the trailer");
    return path.string();
}

}  // namespace lumenary::vision_test
