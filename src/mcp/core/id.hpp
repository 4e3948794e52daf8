#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// A JSON-RPC request id. It keeps whether it arrived as a string or a number
// so that the reply repeats it in the same JSON form.
class ID {
public:
    // The empty string id, which a null "id" also reads as.
    ID() = default;
    ID(std::string text) : storage_(std::move(text)) {}
    ID(const char* text) : storage_(std::string(text)) {}
    ID(std::int64_t number) : storage_(number) {}
    ID(int number) : storage_(static_cast<std::int64_t>(number)) {}

    // A string id holding a new random UUID in upper-case text.
    static ID random();

    bool isString() const noexcept { return storage_.index() == 0; }
    const std::string* stringValue() const noexcept { return std::get_if<std::string>(&storage_); }
    std::optional<std::int64_t> numberValue() const noexcept;

    // A string id unchanged (no quotes); a number id in decimal.
    std::string description() const;
    std::size_t hash() const noexcept;

    friend bool operator==(const ID&, const ID&) = default;

private:
    std::variant<std::string, std::int64_t> storage_;
};

template <>
struct Coder<ID> {
    static Value encode(const ID& id);
    // Reads what requestIDFrom reads; anything else fails with "ID must be
    // string or number".
    static ID decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ID> {
    std::size_t operator()(const lumenary::mcp::ID& id) const noexcept { return id.hash(); }
};
