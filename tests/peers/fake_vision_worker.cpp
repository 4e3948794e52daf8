// A stand-in for the vision worker that misbehaves on request, for the
// worker client's tests. It speaks the worker's protocol; the image path of
// a barcode request says what to do:
//   "abort"       abort (killed by SIGABRT)
//   "exit"        exit with status 3 without answering
//   "hang"        never answer
//   "stall"       send an answer's length line, then nothing more
//   "bad-length"  answer with a length line that is no length
//   "bad-json"    answer with a frame that is not JSON
//   "wrong-shape" answer with observations of the wrong shape
//   "then-exit"   answer as below with its pid as the symbology, then exit
//   "pid"         answer as below with its pid as the symbology
//   anything else one barcode: symbology = OMP_THREAD_LIMIT as seen here,
//                 payload = "request <n> of this process"
// A face features request finds no face, after 20 ms of work, so that a
// folder's images are shared out to every worker.
// It prints on its standard output before every answer, as the vision
// libraries do, to show that this never reaches the answers. Like the real
// worker, it ends the moment the server hangs up.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/process/server_hang_up_watch.hpp"
#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_request_channel.hpp"
#include "platform/vision/vision_worker_protocol.hpp"

int main() {
    using namespace lumenary::platform;
    using namespace lumenary::platform::vision;
    if (exitWhenServerHangsUp(WorkerProcess::requestDescriptor) != 0) {
        return 1;
    }
    VisionRequestChannel channel(WorkerProcess::requestDescriptor, WorkerProcess::answerDescriptor);
    int handled = 0;
    while (auto payload = channel.nextRequest()) {
        ++handled;
        std::printf("stdout noise\n");
        std::fflush(stdout);
        const auto request = decodeVisionRequest(*payload);
        const std::string path = request && !request->imagePaths.empty() ? request->imagePaths.front() : "";
        if (request && request->analysis == VisionWorkerRequest::Analysis::faceFeatures) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            channel.sendAnswer(encodeVisionAnswer(PlatformOutcome<std::vector<FaceFeature>>(std::vector<FaceFeature>{})));
            continue;
        }
        if (path == "abort") {
            std::abort();
        }
        if (path == "exit") {
            return 3;
        }
        if (path == "hang") {
            for (;;) {
                ::pause();
            }
        }
        if (path == "stall") {
            const char line[] = "12\n";
            if (::write(WorkerProcess::answerDescriptor, line, sizeof line - 1) < 0) {
                return 1;
            }
            for (;;) {
                ::pause();
            }
        }
        if (path == "bad-length") {
            const char line[] = "twelve\n";
            if (::write(WorkerProcess::answerDescriptor, line, sizeof line - 1) < 0) {
                return 1;
            }
            continue;
        }
        if (path == "bad-json" || path == "wrong-shape") {
            channel.sendAnswer(path == "bad-json" ? "{not json" : R"({"observations":[{"symbology":7}]})");
            continue;
        }
        const char* threads = std::getenv("OMP_THREAD_LIMIT");
        BarcodeObservation observation;
        observation.symbology = threads != nullptr ? threads : "unset";
        if (path == "then-exit" || path == "pid") {
            observation.symbology = std::to_string(::getpid());
        }
        observation.payload = "request " + std::to_string(handled) + " of this process";
        channel.sendAnswer(encodeVisionAnswer(PlatformOutcome<std::vector<BarcodeObservation>>({observation})));
        if (path == "then-exit") {
            return 0;
        }
    }
    return 0;
}
