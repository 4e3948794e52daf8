#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/vision/vision_frame_reader.hpp"

namespace lumenary::platform::vision {

// The worker's end of its conversation with the server: request frames
// arrive on one descriptor, answer frames leave on another. Both block.
// One caller at a time: the class guards nothing. It does not own the
// descriptors.
class VisionRequestChannel {
public:
    VisionRequestChannel(int requests, int answers) : requests_(requests), answers_(answers) {}

    // The next request payload; absent once the server closed its end or
    // sent something that is not a frame.
    std::optional<std::string> nextRequest();
    // False when the server no longer reads.
    bool sendAnswer(std::string_view payload);

private:
    int requests_;
    int answers_;
    VisionFrameReader reader_;
};

}  // namespace lumenary::platform::vision
