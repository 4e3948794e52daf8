// The stdio line splitter finds the same lines however reads cut the
// stream, whichever bytes end its lines, and never holds more than its limit.
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
std::vector<std::string> linesOf(const Pieces& pieces, StdioLineSplitter::LineEnds lineEnds) {
    StdioLineSplitter splitter(maximumLineLength, lineEnds);
    const std::string_view ends =
        lineEnds == StdioLineSplitter::LineEnds::lineFeed ? std::string_view("\n") : std::string_view("\n\r\v\f");
    std::vector<std::string> lines;
    const auto collect = [&](std::string line) {
        LUMENARY_FUZZ_CHECK(line.size() <= maximumLineLength);
        LUMENARY_FUZZ_CHECK(line.find_first_of(ends) == std::string::npos);
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
    for (const auto lineEnds : {StdioLineSplitter::LineEnds::lineFeed, StdioLineSplitter::LineEnds::anyASCIIBreak}) {
        LUMENARY_FUZZ_CHECK(linesOf(whole, lineEnds) == linesOf(input.pieces, lineEnds));
    }
    return 0;
}
