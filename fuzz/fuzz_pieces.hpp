#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumenary::fuzz {

// An input's first byte chooses how the rest is cut into pieces, the way
// reads would cut a stream, so the fuzzer explores splits as well as bytes.
struct PiecedInput {
    std::string_view stream;
    std::vector<std::string_view> pieces;
};

inline PiecedInput piecesOf(const std::uint8_t* data, std::size_t size) {
    PiecedInput input;
    if (size == 0) return input;
    std::uint32_t state = 0x9E3779B9u ^ data[0];
    const std::size_t longest = static_cast<std::size_t>(data[0] % 64) + 1;
    input.stream = std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string_view rest = input.stream;
    while (!rest.empty()) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t length = std::min<std::size_t>(rest.size(), state % longest + 1);
        input.pieces.push_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    return input;
}

}  // namespace lumenary::fuzz
