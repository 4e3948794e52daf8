#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace lumenary::mcp {

// The dynamically typed JSON value every untyped MCP payload travels as.
// A plain value: copies are independent and may cross threads freely.
class Value {
public:
    enum class Kind : std::uint8_t { null, boolean, integer, number, string, data, array, object };

    // Bytes carried on the wire as a data URL. A value read from JSON always
    // has a media type; an absent one writes as "text/plain".
    struct Data {
        std::optional<std::string> mimeType;
        std::string bytes;
        // The data URL as it stood in the JSON text it was read from. A
        // typed text field (an id, a method name) reads it back unchanged
        // instead of in the base64 form the bytes write as. Not part of the
        // value: equality and hashing ignore it.
        std::optional<std::string> sourceText = std::nullopt;

        friend bool operator==(const Data& left, const Data& right) {
            return left.mimeType == right.mimeType && left.bytes == right.bytes;
        }
    };

    using Array = std::vector<Value>;
    // Ordered by key so the writer emits sorted keys without a sort pass.
    using Object = std::map<std::string, Value, std::less<>>;

    Value() noexcept = default;
    Value(std::nullptr_t) noexcept {}
    Value(bool boolean) noexcept : storage_(boolean) {}
    template <typename Integer>
    requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>) Value(Integer integer)
    noexcept : storage_(static_cast<std::int64_t>(integer)) {}
    Value(double number) noexcept : storage_(number) {}
    Value(std::string text) noexcept : storage_(std::move(text)) {}
    Value(std::string_view text) : storage_(std::string(text)) {}
    Value(const char* text) : storage_(std::string(text)) {}
    Value(Data data) : storage_(std::make_shared<const Data>(std::move(data))) {}
    Value(Array elements) noexcept : storage_(std::move(elements)) {}
    Value(Object members) noexcept : storage_(std::move(members)) {}

    // A key named twice keeps its last value.
    static Value object(std::initializer_list<std::pair<std::string, Value>> members);
    static Value array(std::initializer_list<Value> elements);
    static Value data(std::string bytes, std::optional<std::string> mimeType,
                      std::optional<std::string> sourceText = std::nullopt);

    Kind kind() const noexcept { return static_cast<Kind>(storage_.index()); }

    // Each accessor answers only for its own case; there is no conversion
    // between cases (an integer is not a double).
    bool isNull() const noexcept { return kind() == Kind::null; }
    std::optional<bool> boolValue() const noexcept;
    std::optional<std::int64_t> intValue() const noexcept;
    std::optional<double> doubleValue() const noexcept;
    const std::string* stringValue() const noexcept { return std::get_if<std::string>(&storage_); }
    std::string* stringValue() noexcept { return std::get_if<std::string>(&storage_); }
    const Data* dataValue() const noexcept {
        const auto* data = std::get_if<std::shared_ptr<const Data>>(&storage_);
        return data ? data->get() : nullptr;
    }
    const Array* arrayValue() const noexcept { return std::get_if<Array>(&storage_); }
    Array* arrayValue() noexcept { return std::get_if<Array>(&storage_); }
    const Object* objectValue() const noexcept { return std::get_if<Object>(&storage_); }
    Object* objectValue() noexcept { return std::get_if<Object>(&storage_); }

    // The member under `key` of an object; null for a missing key or a
    // value that is not an object.
    const Value* find(std::string_view key) const noexcept;

    // The value as text: strings without quotes, doubles always with a
    // fraction or an exponent, data as its data URL.
    std::string description() const;

    std::size_t hash() const noexcept;

    // Doubles compare by IEEE rules (NaN equals nothing); 1 and 1.0 differ.
    friend bool operator==(const Value& left, const Value& right) noexcept;

private:
    // Bytes are rare and large, so they live apart (shared, never changed)
    // and keep every other value small.
    std::variant<std::monostate, bool, std::int64_t, double, std::string, std::shared_ptr<const Data>, Array, Object>
        storage_;
};

// Text form of a double shared by the JSON writer and `description`: the
// shortest text that reads back as the same double, never as an integer.
std::string doubleText(double number);

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::Value> {
    std::size_t operator()(const lumenary::mcp::Value& value) const noexcept { return value.hash(); }
};
