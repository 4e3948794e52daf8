#include "app/tools/vision/video_analysis.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "app/tools/vision/known_video_duration.hpp"
#include "app/tools/vision/vision_results.hpp"

namespace lumenary::app {

namespace {

namespace vision = platform::vision;

constexpr int maximumSampledFrames = 60;
// Requested times are whole units of this many per second.
constexpr double requestTimescale = 600;
// Frames analysed per request to the analyzer: few enough that a request
// of full-size frames with every analysis stays well inside the worker's
// time limit.
constexpr std::size_t framesPerRequest = 10;

bool named(const std::vector<std::string>& features, std::string_view name) {
    return std::find(features.begin(), features.end(), name) != features.end();
}

// A time as the console has always shown it: the shortest text that reads
// back as the same double, with ".0" on a whole number (2.0, 0.1, 1e-05).
std::string consoleNumber(double value) {
    char text[64];
    const bool plain = value == 0 || (std::fabs(value) >= 1e-4 && std::fabs(value) < 9007199254740992.0);
    const auto written =
        std::to_chars(text, text + sizeof text, value, plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string number(text, written.ptr);
    if (plain && number.find('.') == std::string::npos) {
        number += ".0";
    }
    return number;
}

// 0, one interval, two, ... (each the one before plus the interval) while
// below the duration, the sixtieth attempt being the last.
std::vector<double> sampleTimes(double duration, double interval) {
    std::vector<double> times{0.0};
    double time = 0.0;
    while (static_cast<int>(times.size()) < maximumSampledFrames) {
        const double next = time + interval;
        if (!(next < duration)) {
            break;
        }
        time = next;
        times.push_back(time);
    }
    return times;
}

PlainDictionary frameResult(const vision::VideoFrame& frame, const vision::VideoFrameRequest& request) {
    PlainDictionary result{{"timestamp", frame.timestamp}};
    if (request.faces) {
        result["faces"] = faceDetectionResult(frame.faces.value_or(std::vector<vision::FaceObservation>{}));
    }
    if (request.text) {
        result["text"] = textRecognitionResult(frame.text.value_or(std::vector<vision::TextObservation>{}));
    }
    if (request.animals) {
        result["animals"] = animalResult(frame.animals.value_or(std::vector<vision::AnimalObservation>{}));
    }
    if (request.bodyPose) {
        result["body_pose"] = bodyPoseResult(frame.bodyPoses.value_or(std::vector<vision::PoseObservation>{}));
    }
    if (request.handPose) {
        result["hand_pose"] = handPoseResult(frame.handPoses.value_or(std::vector<vision::PoseObservation>{}));
    }
    return result;
}

}  // namespace

ToolOutcome<PlainDictionary> analyzedVideo(vision::VisionAnalyzer& analyzer, const VideoAnalysisArguments& arguments,
                                           const logging::Console& console) {
    const auto duration = knownVideoDuration(analyzer, arguments.videoPath);
    if (!duration) {
        return duration.error();
    }
    PlainList results;
    if (duration.value() > 0) {
        const auto times = sampleTimes(duration.value(), arguments.sampleInterval);
        vision::VideoFrameRequest request;
        request.faces = named(arguments.features, "faces");
        request.text = named(arguments.features, "text");
        request.animals = named(arguments.features, "animals");
        request.bodyPose = named(arguments.features, "body_pose");
        request.handPose = named(arguments.features, "hand_pose");
        const auto reportFailure = [&console](double time, const std::string& reason) {
            console.print("Error extracting frame at ", consoleNumber(time), ": ", reason);
        };
        for (std::size_t first = 0; first < times.size(); first += framesPerRequest) {
            const std::size_t end = std::min(times.size(), first + framesPerRequest);
            request.times.clear();
            for (std::size_t index = first; index < end; ++index) {
                request.times.push_back(std::round(times[index] * requestTimescale) / requestTimescale);
            }
            const auto batch = analyzer.videoFrames(arguments.videoPath, request);
            if (!batch) {
                const auto& error = batch.error();
                return ToolError(error.domain, error.code, error.description);
            }
            const auto& frames = batch.value().frames;
            for (std::size_t index = first; index < end; ++index) {
                if (index - first >= frames.size()) {
                    reportFailure(times[index], "The video ends before this time");
                    continue;
                }
                const auto& frame = frames[index - first];
                if (!frame) {
                    reportFailure(times[index], frame.error().description);
                } else if (frame.value().analysisError) {
                    reportFailure(times[index], frame.value().analysisError->description);
                } else {
                    results.push_back(frameResult(frame.value(), request));
                }
            }
            if (frames.size() < end - first) {
                for (std::size_t index = end; index < times.size(); ++index) {
                    reportFailure(times[index], "The video ends before this time");
                }
                break;
            }
        }
    }
    const auto analysed = results.size();
    return PlainDictionary{{"success", true},
                           {"duration", duration.value()},
                           {"frames_analyzed", analysed},
                           {"results", std::move(results)}};
}

}  // namespace lumenary::app
