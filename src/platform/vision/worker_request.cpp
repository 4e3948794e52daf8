#include "platform/vision/worker_request.hpp"

#include <utility>

namespace lumenary::platform::vision {

std::optional<WorkerRequest> decodeWorkerRequest(std::string_view payload) {
    const auto parsed = parsedRequestPayload(payload);
    if (!parsed) {
        return std::nullopt;
    }
    if (auto video = videoWorkerRequestFrom(*parsed)) {
        return WorkerRequest(std::move(*video));
    }
    if (auto image = visionRequestFrom(*parsed)) {
        return WorkerRequest(std::move(*image));
    }
    return std::nullopt;
}

}  // namespace lumenary::platform::vision
