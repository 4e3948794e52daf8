#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumenary::system {

// Feeds values into one running digest. Order matters; combine the parts of
// a value in a fixed order so that equal values hash alike.
class Hasher {
public:
    void combine(std::uint64_t word) noexcept {
        state_ = mix(state_ ^ (word + 0x9E3779B97F4A7C15ULL + (state_ << 6) + (state_ >> 2)));
    }
    void combine(std::string_view bytes) noexcept {
        std::uint64_t digest = 0xCBF29CE484222325ULL;
        for (unsigned char byte : bytes) {
            digest = (digest ^ byte) * 0x100000001B3ULL;
        }
        combine(digest);
        combine(static_cast<std::uint64_t>(bytes.size()));
    }
    std::size_t finalize() const noexcept { return static_cast<std::size_t>(mix(state_)); }

private:
    static std::uint64_t mix(std::uint64_t word) noexcept {
        word ^= word >> 30;
        word *= 0xBF58476D1CE4E5B9ULL;
        word ^= word >> 27;
        word *= 0x94D049BB133111EBULL;
        word ^= word >> 31;
        return word;
    }

    std::uint64_t state_ = 0x243F6A8885A308D3ULL;
};

}  // namespace lumenary::system
