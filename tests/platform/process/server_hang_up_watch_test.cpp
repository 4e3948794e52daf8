#include <gtest/gtest.h>

#include <chrono>

#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_worker_protocol.hpp"
#include "support/child_process.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;

// A worker in the middle of an answer that would never come ends by itself
// the moment the server closes its end of the requests, as it would were
// the server killed: it is not left running until someone kills it.
TEST(ServerHangUpWatch, AWorkerMidAnswerEndsWhenTheServerHangsUp) {
    auto started =
        WorkerProcess::startOnOwnDescriptors(lumenary::testing::siblingProgram("fake_vision_worker"), {}, {});
    ASSERT_TRUE(started) << started.error().description;
    auto& worker = started.value();
    vision::VisionWorkerRequest request;
    request.analysis = vision::VisionWorkerRequest::Analysis::barcodes;
    request.imagePaths = {"stall"};
    ASSERT_FALSE(worker.write(vision::visionFrame(vision::encodeVisionRequest(request)), 10s));
    ASSERT_TRUE(worker.readLine(16, 10s));

    // A grace far longer than the watch needs: a worker that outstays it is
    // killed, which would show here.
    EXPECT_EQ(worker.stop(10s), (ProcessExit{ProcessExit::Kind::exited, 0, 0}));
}

}  // namespace
}  // namespace lumenary::platform
