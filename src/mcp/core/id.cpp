#include "mcp/core/id.hpp"

#include <random>

#include "mcp/core/coders.hpp"
#include "mcp/core/hasher.hpp"

namespace lumenary::mcp {

ID ID::random() {
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
    return ID(std::move(text));
}

std::optional<std::int64_t> ID::numberValue() const noexcept {
    if (const auto* number = std::get_if<std::int64_t>(&storage_)) {
        return *number;
    }
    return std::nullopt;
}

std::string ID::description() const {
    if (const auto* text = stringValue()) {
        return *text;
    }
    return std::to_string(*numberValue());
}

std::size_t ID::hash() const noexcept {
    Hasher hasher;
    hasher.combine(static_cast<std::uint64_t>(storage_.index()));
    if (const auto* text = stringValue()) {
        hasher.combine(std::string_view(*text));
    } else {
        hasher.combine(static_cast<std::uint64_t>(*numberValue()));
    }
    return hasher.finalize();
}

Value Coder<ID>::encode(const ID& id) {
    if (const auto* text = id.stringValue()) {
        return *text;
    }
    return *id.numberValue();
}

ID Coder<ID>::decode(const Decoder& decoder) {
    const Value& value = decoder.value();
    if (auto text = jsonText(value)) {
        return ID(std::move(*text));
    }
    if (auto number = value.intValue()) {
        return ID(*number);
    }
    if (value.isNull()) {
        return ID(std::string());
    }
    decoder.failDataCorrupted("ID must be string or number");
}

}  // namespace lumenary::mcp
