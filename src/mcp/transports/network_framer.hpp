#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mcp/transports/network_heartbeat.hpp"

namespace lumenary::mcp {

// Cuts the bytes a network peer sends into messages and heartbeats. Bytes in,
// frames out; no socket, fed from any split of the stream.
//
// A message is the bytes before a 0x0A (a 0x0D before it stays in the
// message); empty lines are dropped. A heartbeat record carries no 0x0A, so
// it is recognised only where a message may begin: at the start of the
// stream, after a 0x0A or after another heartbeat. There its 12 bytes are
// awaited across reads and consumed exactly; a JSON text never begins with
// the magic's first byte, so no message is taken for one. Bytes of the magic
// that turn out not to be one start a message.
//
// A line may grow to `maximumLineLength` bytes; a longer one is discarded up
// to its 0x0A and stands in the output as one `DiscardedLine`.
class NetworkFramer {
public:
    static constexpr std::size_t defaultMaximumLineLength = 32 * 1024 * 1024;

    struct DiscardedLine {
        // The bytes the line had when it passed the limit: one past it. The
        // rest is dropped unread, and counting what one read happened to
        // bring would make the frames depend on where reads cut the stream.
        std::size_t length;
        friend bool operator==(const DiscardedLine&, const DiscardedLine&) = default;
    };
    using Frame = std::variant<std::string, NetworkHeartbeat, DiscardedLine>;

    explicit NetworkFramer(std::size_t maximumLineLength = defaultMaximumLineLength)
        : maximumLineLength_(maximumLineLength) {}

    // Appends to `frames` what the bytes complete, in stream order.
    void feed(std::string_view bytes, std::vector<Frame>& frames);

    // Bytes held for an unfinished message or heartbeat.
    std::size_t pendingBytes() const noexcept { return line_.size() + heartbeat_.size(); }

    // The wire form of one outgoing message: the text and one 0x0A, never
    // looked into.
    static void appendMessage(std::string& out, std::string_view message);

private:
    // Takes heartbeat bytes at a message start; returns how many it used.
    std::size_t feedHeartbeat(std::string_view bytes, std::vector<Frame>& frames);
    void endLine(std::vector<Frame>& frames);

    std::size_t maximumLineLength_;
    // The unfinished line.
    std::string line_;
    // The first bytes of what may be a heartbeat, while it is not yet known.
    std::string heartbeat_;
    // Past the limit: bytes are dropped up to the next 0x0A.
    bool discarding_ = false;
};

}  // namespace lumenary::mcp
