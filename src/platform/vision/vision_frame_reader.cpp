#include "platform/vision/vision_frame_reader.hpp"

#include <utility>

#include "platform/vision/vision_worker_protocol.hpp"

namespace lumenary::platform::vision {

VisionFrameResult VisionFrameReader::feed(std::string_view bytes) {
    if (error_) {
        return *error_;
    }
    buffered_.append(bytes);
    if (!payloadLength_) {
        const auto newline = buffered_.find('\n', searchedUpTo_);
        if (newline == std::string::npos) {
            if (buffered_.size() > maximumVisionFrameHeaderLength) {
                return fail("a length line that never ended");
            }
            searchedUpTo_ = buffered_.size();
            return VisionFrameIncomplete{};
        }
        if (newline > maximumVisionFrameHeaderLength) {
            return fail("a length line that never ended");
        }
        payloadLength_ = visionFrameLength(std::string_view(buffered_).substr(0, newline));
        if (!payloadLength_) {
            return fail("a bad length line");
        }
        buffered_.erase(0, newline + 1);
        searchedUpTo_ = 0;
    }
    if (buffered_.size() < *payloadLength_) {
        return VisionFrameIncomplete{};
    }
    VisionFramePayload payload;
    if (buffered_.size() == *payloadLength_) {
        // The usual case, one frame and nothing after it: no copy of a
        // payload that can be tens of megabytes.
        payload.bytes = std::exchange(buffered_, std::string());
    } else {
        payload.bytes = buffered_.substr(0, *payloadLength_);
        buffered_.erase(0, *payloadLength_);
    }
    payloadLength_.reset();
    return payload;
}

VisionFrameResult VisionFrameReader::fail(std::string reason) {
    buffered_.clear();
    error_ = VisionFrameError{std::move(reason)};
    return *error_;
}

}  // namespace lumenary::platform::vision
