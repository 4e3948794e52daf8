#include "app/tools/vision/face_video_search.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "app/tools/vision/known_video_duration.hpp"

namespace lumenary::app {

namespace {

namespace vision = platform::vision;

constexpr double assumedFramesPerSecond = 30.0;
constexpr std::int64_t frameRequestTimescale = 600;
constexpr std::size_t batchSize = 20;
// Far beyond any real video, yet low enough that a frame number times the
// 20 units of a frame stays inside 64 bits.
constexpr std::int64_t frameCountLimit = std::int64_t{1} << 58;
static_assert(frameCountLimit <= std::numeric_limits<std::int64_t>::max() /
                                     static_cast<std::int64_t>(frameRequestTimescale / assumedFramesPerSecond));

ToolError passedOnFaceVideoError(const platform::PlatformError& error) {
    return ToolError(error.domain, error.code, error.description);
}

// The requested times of frames 0, step, 2 step, ... below the frame count
// and the duration, a batch at a time.
class SampledFrameTimes {
public:
    SampledFrameTimes(double duration, std::int64_t step) : duration_(duration), step_(std::max<std::int64_t>(step, 1)) {
        const double frames = duration * assumedFramesPerSecond;
        frameCount_ = frames >= static_cast<double>(frameCountLimit) ? frameCountLimit
                      : frames > 0                                  ? static_cast<std::int64_t>(frames)
                                                                    : 0;
    }

    std::vector<double> nextBatch() {
        std::vector<double> times;
        while (times.size() < batchSize && frame_ < frameCount_) {
            // Frame i at i / 30 s, in whole 1/600 s.
            const std::int64_t units =
                frame_ * static_cast<std::int64_t>(frameRequestTimescale / assumedFramesPerSecond);
            const double time = static_cast<double>(units) / static_cast<double>(frameRequestTimescale);
            if (duration_ <= time) {
                frameCount_ = frame_;
                break;
            }
            times.push_back(time);
            frame_ = step_ > frameCount_ - frame_ ? frameCount_ : frame_ + step_;
        }
        return times;
    }

private:
    double duration_;
    std::int64_t step_;
    std::int64_t frameCount_ = 0;
    std::int64_t frame_ = 0;
};

PlainDictionary boundingBox(const vision::NormalizedRect& box) {
    return PlainDictionary{{"x", box.x}, {"y", box.y}, {"width", box.width}, {"height", box.height}};
}

}  // namespace

ToolOutcome<PlainDictionary> searchedFaceInVideo(vision::VisionAnalyzer& analyzer,
                                                 const vision::FaceFeaturePrint& target, const std::string& videoPath,
                                                 double threshold, std::int64_t sampleInterval) {
    const auto duration = knownVideoDuration(analyzer, videoPath);
    if (!duration) {
        return duration.error();
    }
    SampledFrameTimes sampled(duration.value(), sampleInterval);
    PlainList matches;
    std::optional<double> firstAppearance;
    std::optional<double> lastAppearance;
    vision::VideoFrameRequest request;
    request.faceFeatures = true;
    for (;;) {
        request.times = sampled.nextBatch();
        if (request.times.empty()) {
            break;
        }
        const auto batch = analyzer.videoFrames(videoPath, request);
        if (!batch) {
            return passedOnFaceVideoError(batch.error());
        }
        for (const auto& frame : batch.value().frames) {
            if (!frame) {
                continue;
            }
            if (frame.value().analysisError) {
                return passedOnFaceVideoError(*frame.value().analysisError);
            }
            const double timestamp = frame.value().timestamp;
            for (const auto& face : frame.value().faceFeatures.value_or(std::vector<vision::FaceFeature>{})) {
                const auto distance = vision::faceFeatureDistance(face.print, target);
                if (!distance) {
                    return ToolError("VisionService", 500, "Failed to compare the face feature prints");
                }
                const double similarity = 1.0 - *distance;
                // Written so that a similarity that is not a number fails.
                if (!(similarity >= threshold)) {
                    continue;
                }
                matches.push_back(PlainDictionary{{"timestamp", timestamp},
                                                  {"similarity", similarity},
                                                  {"bounding_box", boundingBox(face.boundingBox)}});
                firstAppearance = firstAppearance.value_or(timestamp);
                lastAppearance = timestamp;
            }
        }
        if (batch.value().endOfStream) {
            break;
        }
    }
    const auto totalMatches = matches.size();
    PlainDictionary summary{{"total_matches", totalMatches}, {"video_duration", duration.value()}};
    if (firstAppearance) {
        summary["first_appearance"] = *firstAppearance;
        summary["last_appearance"] = *lastAppearance;
    }
    return PlainDictionary{{"search_type", "video"},
                           {"video_path", videoPath},
                           {"matches", std::move(matches)},
                           {"summary", std::move(summary)}};
}

}  // namespace lumenary::app
