#include "platform/vision/vision_request_channel.hpp"

#include <unistd.h>

#include <cerrno>

#include "platform/vision/vision_worker_protocol.hpp"

namespace lumenary::platform::vision {

std::optional<std::string> VisionRequestChannel::nextRequest() {
    std::size_t newline;
    while ((newline = received_.find('\n')) == std::string::npos) {
        if (received_.size() > maximumVisionFrameHeaderLength || !fill()) {
            return std::nullopt;
        }
    }
    const auto length = visionFrameLength(std::string_view(received_).substr(0, newline));
    if (!length) {
        return std::nullopt;
    }
    received_.erase(0, newline + 1);
    while (received_.size() < *length) {
        if (!fill()) {
            return std::nullopt;
        }
    }
    std::string payload = received_.substr(0, *length);
    received_.erase(0, *length);
    return payload;
}

bool VisionRequestChannel::sendAnswer(std::string_view payload) {
    const std::string frame = visionFrame(payload);
    std::string_view left(frame);
    while (!left.empty()) {
        const ssize_t count = ::write(answers_, left.data(), left.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        left.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

bool VisionRequestChannel::fill() {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(requests_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        received_.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
}

}  // namespace lumenary::platform::vision
