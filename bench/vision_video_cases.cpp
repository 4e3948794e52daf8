#include "vision_video_cases.hpp"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "app/tools/category_call.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "mcp/core/json.hpp"
#include "platform/vision/worker/dlib_example_photos.hpp"
#include "platform/vision/worker/image_files.hpp"
#include "platform/vision/worker/media_handles.hpp"
#include "platform/vision/worker/test_images.hpp"
#include "platform/vision/worker/test_videos.hpp"
#include "platform/vision/worker/video_source.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "vision_bench_measures.hpp"

namespace lumenary::vision_bench {

namespace {

using namespace platform::vision;

struct Clip {
    const char* name;
    vision_test::VideoRecipe recipe;
};

// A textured background that moves a little every frame, so that the
// encoder and the decoder have a real video's work, with the frame's index
// as a QR code in its top-left corner.
std::function<cv::Mat(int, cv::Size)> movingPicture(cv::Size size, const cv::Mat& face, const cv::Mat& words) {
    cv::Mat background = vision_test::photoLikeImage(cv::Size(size.width + 64, size.height), 7);
    return [background, face, words](int index, cv::Size frameSize) {
        cv::Mat frame = background(cv::Rect(index % 64, 0, frameSize.width, frameSize.height)).clone();
        const cv::Mat code = vision_test::indexedFrame(index, {frameSize.height / 3, frameSize.height / 3});
        code.copyTo(frame(cv::Rect(0, 0, code.cols, code.rows)));
        if (!face.empty()) {
            face.copyTo(frame(cv::Rect(frameSize.width / 2, frameSize.height / 4, face.cols, face.rows)));
        }
        if (!words.empty()) {
            words.copyTo(frame(cv::Rect(frameSize.width / 8, frameSize.height * 2 / 3, words.cols, words.rows)));
        }
        return frame;
    };
}

vision_test::VideoRecipe recipeFor(cv::Size size, int frames, bool h264, const cv::Mat& face = {},
                                   const cv::Mat& words = {}) {
    vision_test::VideoRecipe recipe;
    recipe.frameCount = frames;
    recipe.size = size;
    recipe.keyFrameInterval = 48;
    if (h264) {
        recipe.container = "matroska";
        recipe.encoder = "libx264";
        recipe.bFrames = 3;
        recipe.encoderOptions = {{"preset", "veryfast"}, {"crf", "20"}};
    }
    recipe.picture = movingPicture(size, face, words);
    return recipe;
}

// Twelve times that each need a seek: scattered over the clip, backwards.
std::vector<double> scatteredTimes(int frames) {
    std::vector<double> times;
    for (int sample = 11; sample >= 0; --sample) {
        times.push_back((sample * (frames - 20) / 12 + 7 + sample % 5) / 30.0 + 0.01);
    }
    return times;
}

void exactSeekSamples(int runs, const std::string& label, const std::string& path, int frames, const char* target) {
    auto source = VideoSource::open(path);
    require(source, "opening the clip");
    int exact = 0;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        for (const double time : scatteredTimes(frames)) {
            const auto started = Clock::now();
            auto frame = source.value().frameAt(time);
            times.push_back(milliseconds(Clock::now() - started));
            require(frame, "taking a frame");
            if (run == 0 && frame.value() &&
                vision_test::frameIndexShown(frame.value()->rgb) == static_cast<int>(time * 30)) {
                ++exact;
            }
        }
    }
    std::sort(times.begin(), times.end());
    report(label.c_str(), times[times.size() / 2], target);
    std::printf("%-52s %9d of 12\n", ("  exact frames, " + label.substr(0, label.find(',')) ).c_str(), exact);
}

// Every frame decoded, none converted: what any reader of the file pays.
double plainDecodeMilliseconds(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        std::fprintf(stderr, "vision_bench: cannot open %s\n", path.c_str());
        std::exit(1);
    }
    FormatContextHandle format(raw);
    avformat_find_stream_info(raw, nullptr);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    CodecContextHandle decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), raw->streams[stream]->codecpar);
    decoder->thread_count = 1;
    avcodec_open2(decoder.get(), codec, nullptr);
    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());
    const auto started = Clock::now();
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(decoder.get(), packet.get());
            while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            }
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
    }
    return milliseconds(Clock::now() - started);
}

void sequentialSampling(const std::string& label, const std::string& path, int frames) {
    const double plain = plainDecodeMilliseconds(path);
    auto source = VideoSource::open(path);
    require(source, "opening the clip");
    const auto started = Clock::now();
    for (int index = 0; index < frames; index += 10) {
        require(source.value().frameAt(index / 30.0), "taking a frame");
    }
    const double sampled = milliseconds(Clock::now() - started);
    std::printf("%-52s %9.2f ms   plain decode %.2f ms, ratio %.2f (target <= 1.5)\n", label.c_str(), sampled, plain,
                sampled / plain);
    std::fflush(stdout);
}

std::string toolCall(app::VisionToolHandler& vision, const std::string& name, app::PlainDictionary arguments,
                     double& elapsed) {
    const auto started = Clock::now();
    auto text = app::testing::categoryCallText(vision, name, std::move(arguments));
    elapsed = milliseconds(Clock::now() - started);
    return text;
}

}  // namespace

void benchmarkVideoCases(int runs, const std::filesystem::path& folder, const std::string& workerProgram) {
    std::printf("\nvideo, writing the clips...\n");
    std::fflush(stdout);
    const std::vector<Clip> seekClips = {
        {"640x480 MPEG-4 in MP4", recipeFor({640, 480}, 300, false)},
        {"640x480 H.264 B-frames in Matroska", recipeFor({640, 480}, 300, true)},
        {"1080p MPEG-4 in MP4", recipeFor({1920, 1080}, 300, false)},
        {"1080p H.264 B-frames in Matroska", recipeFor({1920, 1080}, 300, true)},
    };
    std::vector<std::string> paths;
    for (std::size_t index = 0; index < seekClips.size(); ++index) {
        const auto& clip = seekClips[index];
        paths.push_back(vision_test::writtenVideo(
            folder / ("seek" + std::to_string(index) + (clip.recipe.container == "mp4" ? ".mp4" : ".mkv")),
            clip.recipe));
    }
    std::printf("\nvideo frames in this process, one decoding thread, key frame every 48\n");
    for (std::size_t index = 0; index < seekClips.size(); ++index) {
        const bool small = seekClips[index].recipe.size.width == 640;
        exactSeekSamples(runs, std::string(seekClips[index].name) + ", exact-seek sample", paths[index], 300,
                         small ? "<= 25 ms" : "<= 100 ms");
    }
    sequentialSampling("1080p MPEG-4, every 10th frame in order", paths[2], 300);
    sequentialSampling("1080p H.264, every 10th frame in order", paths[3], 300);

    std::printf("\nvideo tools through the worker program, 60 s at 720p\n");
    std::fflush(stdout);
    const auto people = vision_test::identityPhotos();
    const auto targetPath = people.begin()->second.front();
    cv::Mat face;
    cv::resize(vision_test::photo(targetPath), face, {200, 200});
    const cv::Mat words = vision_test::renderedText({"Platform 9 departures"}, vision_test::dejaVuSans(), 36);
    const auto clip = vision_test::writtenVideo(folder / "clip720.mp4", recipeFor({1280, 720}, 1800, false, face, words));
    app::VisionToolHandler vision{std::make_shared<app::VisionService>(
        makeWorkerVisionAnalyzer({workerProgram, std::chrono::milliseconds(60'000)}))};
    double elapsed = 0;
    const auto analysed = toolCall(vision, "vision_analyze_video",
                                   {{"video_path", clip}, {"features", app::PlainList{"faces", "text"}}}, elapsed);
    const auto analysis = mcp::parseJSON(analysed.front() == '{' ? analysed : "{}");
    if (analysis.find("frames_analyzed") == nullptr) {
        std::fprintf(stderr, "vision_bench: the video analysis failed: %s\n", analysed.c_str());
        std::exit(1);
    }
    report("vision_analyze_video, faces and text, 60 frames", elapsed, "<= 40000 ms");
    std::printf("%-52s %9lld frames\n", "  frames analysed", static_cast<long long>(*analysis.find("frames_analyzed")->intValue()));

    const auto searched = toolCall(vision, "vision_search_face",
                                   {{"target_face_path", targetPath.string()}, {"search_path", clip}}, elapsed);
    const auto search = mcp::parseJSON(searched.front() == '{' ? searched : "{}");
    if (search.find("summary") == nullptr) {
        std::fprintf(stderr, "vision_bench: the face search failed: %s\n", searched.c_str());
        std::exit(1);
    }
    report("face search, interval 10 (180 frames)", elapsed, "<= 60000 ms");
    std::printf("%-52s %9lld matches\n", "  matches",
                static_cast<long long>(*search.find("summary")->find("total_matches")->intValue()));

    // The frames alone, to tell the video's share of the search from the
    // face analyses'.
    const auto analyzer = makeWorkerVisionAnalyzer({workerProgram, std::chrono::milliseconds(60'000)});
    const auto started = Clock::now();
    for (int first = 0; first < 1800; first += 200) {
        VideoFrameRequest request;
        for (int frame = first; frame < first + 200; frame += 10) {
            request.times.push_back(frame / 30.0);
        }
        require(analyzer->videoFrames(clip, request), "taking the frames");
    }
    report("  of which taking the 180 frames (no analysis)", milliseconds(Clock::now() - started), "-");
}

}  // namespace lumenary::vision_bench
