#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace lumenary::platform::vision {

// A whole frame's payload.
struct VisionFramePayload {
    std::string bytes;

    friend bool operator==(const VisionFramePayload&, const VisionFramePayload&) = default;
};

// Why the bytes are no frame; the stream is out of step from there on.
struct VisionFrameError {
    std::string reason;

    friend bool operator==(const VisionFrameError&, const VisionFrameError&) = default;
};

struct VisionFrameIncomplete {
    friend bool operator==(const VisionFrameIncomplete&, const VisionFrameIncomplete&) = default;
};

using VisionFrameResult = std::variant<VisionFrameIncomplete, VisionFramePayload, VisionFrameError>;

// Reads the frames between the server and the vision worker (see
// vision_worker_protocol.hpp) from the bytes one end receives, in whatever
// pieces they come. It knows nothing of descriptors: both ends feed it what
// they read.
//
// Limits: a length line of more than maximumVisionFrameHeaderLength bytes
// before its newline is "a length line that never ended", refused as soon as
// that many bytes have come without one; a length line that is not plain
// decimal digits, or announces more than maximumVisionFrameLength, is "a bad
// length line", refused before any payload byte is held. So it never holds
// more than one payload and the piece fed last.
//
// Frames may follow each other in one piece: the bytes after a frame are
// kept, and feeding nothing reads the next frame from them. An error is
// sticky: every later feed answers it again.
//
// One caller at a time: the class guards nothing.
class VisionFrameReader {
public:
    VisionFrameResult feed(std::string_view bytes);

    // How many more bytes the frame being read needs, once its length line
    // has been read; 0 before that.
    std::size_t payloadBytesAwaited() const noexcept {
        return payloadLength_ && *payloadLength_ > buffered_.size() ? *payloadLength_ - buffered_.size() : 0;
    }

private:
    VisionFrameResult fail(std::string reason);

    // After the length line: the payload so far and whatever followed it.
    // Before: the length line so far.
    std::string buffered_;
    // Where the search for the newline goes on after the last feed.
    std::size_t searchedUpTo_ = 0;
    std::optional<std::size_t> payloadLength_;
    std::optional<VisionFrameError> error_;
};

}  // namespace lumenary::platform::vision
