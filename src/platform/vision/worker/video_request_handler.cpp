#include "platform/vision/worker/video_request_handler.hpp"

#include <utility>

#include "platform/vision/worker/animal_recognizer.hpp"
#include "platform/vision/worker/body_pose_detector.hpp"
#include "platform/vision/worker/face_analysis.hpp"
#include "platform/vision/worker/hand_pose_detector.hpp"
#include "platform/vision/worker/text_recognizer.hpp"
#include "platform/vision/worker/video_source.hpp"

namespace lumenary::platform::vision {

namespace {

PlatformOutcome<VideoInfo> videoInfo(const std::string& path) {
    auto source = VideoSource::open(path);
    if (!source) {
        return source.error();
    }
    return VideoInfo{source.value().durationSeconds()};
}

// Runs `analysis` on the frame and keeps its result under `result`; false,
// with the frame's error set and every result dropped, when it fails.
template <typename Analysis, typename Result>
bool analysed(VideoFrame& frame, Result& result, Analysis analysis) {
    auto outcome = analysis();
    if (!outcome) {
        VideoFrame failed;
        failed.timestamp = frame.timestamp;
        failed.analysisError = outcome.error();
        frame = std::move(failed);
        return false;
    }
    result = std::move(outcome).value();
    return true;
}

VideoFrame analysedFrame(const VideoFrameRequest& request, DecodedVideoFrame decoded) {
    VideoFrame frame;
    frame.timestamp = decoded.timestamp;
    const cv::Mat& rgb = decoded.rgb;
    if (request.faces && !analysed(frame, frame.faces, [&] { return detectFaces(rgb); })) {
        return frame;
    }
    if (request.text && !analysed(frame, frame.text, [&] {
            return recognizeTextLines(rgb, {TextRecognitionLevel::accurate, {}});
        })) {
        return frame;
    }
    if (request.animals && !analysed(frame, frame.animals, [&] { return recognizeAnimals(rgb); })) {
        return frame;
    }
    if (request.bodyPose && !analysed(frame, frame.bodyPoses, [&] { return detectBodyPoses(rgb); })) {
        return frame;
    }
    if (request.handPose && !analysed(frame, frame.handPoses, [&] { return detectHandPoses(rgb); })) {
        return frame;
    }
    if (request.faceFeatures) {
        analysed(frame, frame.faceFeatures, [&] { return extractAllFaceFeatures(rgb); });
    }
    return frame;
}

PlatformOutcome<VideoFrameBatch> videoFrames(const VideoWorkerRequest& request) {
    auto source = VideoSource::open(request.videoPath);
    if (!source) {
        return source.error();
    }
    VideoFrameBatch batch;
    for (const double time : request.frames.times) {
        auto decoded = source.value().frameAt(time);
        if (!decoded) {
            batch.frames.emplace_back(decoded.error());
            continue;
        }
        if (!decoded.value()) {
            batch.endOfStream = true;
            break;
        }
        batch.frames.emplace_back(analysedFrame(request.frames, std::move(*decoded.value())));
    }
    return batch;
}

}  // namespace

std::string answerVideoRequest(const VideoWorkerRequest& request) {
    if (request.kind == VideoWorkerRequest::Kind::info) {
        return encodeVideoInfoAnswer(videoInfo(request.videoPath));
    }
    return encodeVideoFramesAnswer(videoFrames(request));
}

}  // namespace lumenary::platform::vision
