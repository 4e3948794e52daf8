// The stdio server's line splitter finds the same lines however reads cut
// the stream, and never holds more than its limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_pieces.hpp"
#include "mcp/server/stdio_line_splitter.hpp"

using lumenary::mcp::StdioLineSplitter;

namespace {

constexpr std::size_t maximumLineLength = 64;

template <typename Pieces>
std::vector<std::string> linesOf(const Pieces& pieces) {
    StdioLineSplitter splitter(maximumLineLength);
    std::vector<std::string> lines;
    const auto collect = [&](std::string line) {
        LUMENARY_FUZZ_CHECK(line.size() <= maximumLineLength);
        LUMENARY_FUZZ_CHECK(line.find('\n') == std::string::npos);
        lines.push_back(std::move(line));
    };
    for (const auto piece : pieces) splitter.feed(piece, collect);
    if (auto last = splitter.finish()) collect(std::move(*last));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = lumenary::fuzz::piecesOf(data, size);
    const std::vector<std::string_view> whole{input.stream};
    LUMENARY_FUZZ_CHECK(linesOf(whole) == linesOf(input.pieces));
    return 0;
}
