#include "mcp/core/uuid.hpp"

#include <cctype>
#include <cstdint>
#include <random>

namespace lumenary::mcp {

namespace {

bool isHyphenPosition(std::size_t position) {
    return position == 8 || position == 13 || position == 18 || position == 23;
}

}  // namespace

std::string randomUUID() {
    thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    std::uint64_t high = generator();
    std::uint64_t low = generator();
    // Version 4, variant 1 (RFC 4122).
    high = (high & 0xFFFFFFFFFFFF0FFFULL) | 0x0000000000004000ULL;
    low = (low & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;

    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (int nibble = 0; nibble < 32; ++nibble) {
        if (nibble == 8 || nibble == 12 || nibble == 16 || nibble == 20) {
            text += '-';
        }
        const std::uint64_t word = nibble < 16 ? high : low;
        const int shift = 60 - 4 * (nibble % 16);
        text += hex[word >> shift & 0xF];
    }
    return text;
}

std::optional<std::string> canonicalUUID(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    std::string canonical(text);
    for (std::size_t position = 0; position < canonical.size(); ++position) {
        const auto character = static_cast<unsigned char>(canonical[position]);
        if (isHyphenPosition(position) ? character != '-' : !std::isxdigit(character)) {
            return std::nullopt;
        }
        canonical[position] = static_cast<char>(std::toupper(character));
    }
    return canonical;
}

}  // namespace lumenary::mcp
