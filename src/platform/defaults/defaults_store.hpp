#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mcp/core/value.hpp"

namespace lumenary::platform {

// The user's defaults: small values under text keys that survive restarts.
// Reads answer from memory; how and when writes reach storage is up to the
// implementation. Safe to use from any thread.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // The value exactly as stored, or nothing when the key is absent.
    virtual std::optional<mcp::Value> object(std::string_view key) const = 0;
    virtual void set(std::string_view key, mcp::Value value) = 0;
    virtual void remove(std::string_view key) = 0;

    // Called just before a value under `key` that could not be read is
    // replaced, so the storage can keep a copy of what would be lost.
    virtual void preserveUnreadable(std::string_view key) = 0;

    // The store's own coercions: a Boolean, a non-zero number, or the text
    // "YES", "true" or a non-zero integer reads as true; anything else
    // (absent included) as false.
    bool boolean(std::string_view key) const;
    // An integer, a double cut toward zero, a Boolean as 0 or 1, or a text
    // that starts with an integer; anything else reads as 0.
    std::int64_t integer(std::string_view key) const;
    // Bytes stored with `setData`; also accepts a text value.
    std::optional<std::string> data(std::string_view key) const;

    void setBoolean(std::string_view key, bool value) { set(key, mcp::Value(value)); }
    void setInteger(std::string_view key, std::int64_t value) { set(key, mcp::Value(value)); }
    // UTF-8 bytes are kept as readable text; other bytes as a data value.
    void setData(std::string_view key, std::string bytes);
};

bool booleanCoercion(const mcp::Value& value);
std::int64_t integerCoercion(const mcp::Value& value);

}  // namespace lumenary::platform
