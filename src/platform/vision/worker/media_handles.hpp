#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

// Owners for the media libraries' objects, each freed by the library's own
// function on every path out of the code that made it.
namespace lumenary::platform::vision {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

using FormatContextHandle = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFreer>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerHandle = std::unique_ptr<SwsContext, ScalerFreer>;
using DictionaryHandle = std::unique_ptr<AVDictionary, DictionaryFreer>;

}  // namespace lumenary::platform::vision
