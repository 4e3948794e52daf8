// The network framer gives the same messages, heartbeats and discarded
// lines whether the stream comes whole, byte by byte or in pieces, and
// holds no more than a line's limit and one heartbeat.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_pieces.hpp"
#include "mcp/transports/network_framer.hpp"

using lumenary::mcp::NetworkFramer;

namespace {

constexpr std::size_t maximumLineLength = 64;
constexpr std::size_t heartbeatBytes = 12;

template <typename Pieces>
std::vector<NetworkFramer::Frame> framesOf(const Pieces& pieces) {
    NetworkFramer framer(maximumLineLength);
    std::vector<NetworkFramer::Frame> frames;
    for (const auto piece : pieces) {
        framer.feed(piece, frames);
        LUMENARY_FUZZ_CHECK(framer.pendingBytes() <= maximumLineLength + heartbeatBytes);
    }
    for (const auto& frame : frames) {
        if (const auto* message = std::get_if<std::string>(&frame)) {
            LUMENARY_FUZZ_CHECK(!message->empty() && message->size() <= maximumLineLength);
        }
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = lumenary::fuzz::piecesOf(data, size);
    const std::vector<std::string_view> whole{input.stream};
    std::vector<std::string_view> bytes;
    for (std::size_t index = 0; index < input.stream.size(); ++index) bytes.push_back(input.stream.substr(index, 1));
    const auto expected = framesOf(whole);
    LUMENARY_FUZZ_CHECK(framesOf(bytes) == expected);
    LUMENARY_FUZZ_CHECK(framesOf(input.pieces) == expected);
    return 0;
}
