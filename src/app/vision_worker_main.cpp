// The vision worker program: answers the server's analysis requests, one at
// a time, until the server closes its request descriptor or ends, which
// ends it at once, mid-analysis too. Its standard output goes to
// the server's standard error (libraries print there), so requests and
// answers travel on descriptors of their own.
#include <signal.h>

#include <cstdint>
#include <cstdlib>

#include <opencv2/core.hpp>

#include "platform/process/address_space_limit.hpp"
#include "platform/process/server_hang_up_watch.hpp"
#include "platform/process/worker_process.hpp"
#include "platform/vision/vision_request_channel.hpp"
#include "platform/vision/worker/vision_request_handler.hpp"
#include "system/standard_descriptors.hpp"

namespace {

// Room for the largest image the loader accepts, its working copies and
// the libraries; a hostile image that asks for more meets a failed
// allocation (an error answer) instead of the machine's memory.
constexpr std::uint64_t addressSpaceLimit = std::uint64_t{6} << 30;

}  // namespace

int main() {
    using namespace lumenary::platform;
    if (lumenary::system::reopenClosedStandardDescriptors() != 0) {
        return EXIT_FAILURE;
    }
    // A worker the server no longer waits for stops at once, even in the
    // middle of an analysis that could take up to its time limit.
    if (exitWhenServerHangsUp(WorkerProcess::requestDescriptor) != 0) {
        return EXIT_FAILURE;
    }
    // A server that stops reading ends the write with an error, not us.
    ::signal(SIGPIPE, SIG_IGN);
    limitAddressSpace(addressSpaceLimit);
    // One analysis thread, as the server runs one request at a time.
    cv::setNumThreads(1);

    vision::VisionRequestChannel channel(WorkerProcess::requestDescriptor, WorkerProcess::answerDescriptor);
    while (auto request = channel.nextRequest()) {
        if (!channel.sendAnswer(vision::answerVisionRequest(*request))) {
            break;
        }
    }
    return 0;
}
