// The stdio proxy's input splitter finds the same lines however reads cut
// the stream, and never holds more than its limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/host/input_line_splitter.hpp"
#include "fuzz_check.hpp"
#include "fuzz_pieces.hpp"

using lumenary::app::InputLineSplitter;

namespace {

constexpr std::size_t maximumLineLength = 64;

template <typename Pieces>
std::vector<std::string> linesOf(const Pieces& pieces) {
    InputLineSplitter splitter(maximumLineLength);
    std::vector<std::string> lines;
    const auto collect = [&](const InputLineSplitter::Line& line) {
        LUMENARY_FUZZ_CHECK(line.text.size() <= maximumLineLength);
        LUMENARY_FUZZ_CHECK(!line.overLimit || line.text.empty());
        lines.push_back(line.overLimit ? std::string("\n") : line.text);
    };
    for (const auto piece : pieces) {
        for (const auto& line : splitter.feed(piece)) collect(line);
    }
    if (auto last = splitter.finish()) collect(*last);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = lumenary::fuzz::piecesOf(data, size);
    const std::vector<std::string_view> whole{input.stream};
    LUMENARY_FUZZ_CHECK(linesOf(whole) == linesOf(input.pieces));
    return 0;
}
