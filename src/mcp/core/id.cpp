#include "mcp/core/id.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/core/uuid.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

ID ID::random() {
    return ID(randomUUID());
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
    system::Hasher hasher;
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
    if (auto id = requestIDFrom(decoder.value())) {
        return std::move(*id);
    }
    decoder.failDataCorrupted("ID must be string or number");
}

}  // namespace lumenary::mcp
