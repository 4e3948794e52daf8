#include "platform/vision/vision_request_channel.hpp"

#include <unistd.h>

#include <cerrno>
#include <utility>
#include <variant>

#include "platform/vision/vision_worker_protocol.hpp"
#include "system/write_all.hpp"

namespace lumenary::platform::vision {

std::optional<std::string> VisionRequestChannel::nextRequest() {
    // A frame that came with the last one is read before anything new.
    auto result = reader_.feed({});
    char buffer[64 * 1024];
    while (std::holds_alternative<VisionFrameIncomplete>(result)) {
        const ssize_t count = ::read(requests_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return std::nullopt;
        }
        result = reader_.feed(std::string_view(buffer, static_cast<std::size_t>(count)));
    }
    if (auto* payload = std::get_if<VisionFramePayload>(&result)) {
        return std::move(payload->bytes);
    }
    return std::nullopt;
}

bool VisionRequestChannel::sendAnswer(std::string_view payload) {
    return system::writeAll(answers_, visionFrame(payload)) == 0;
}

}  // namespace lumenary::platform::vision
