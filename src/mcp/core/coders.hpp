#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mcp/core/data_url.hpp"
#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

// The JSON forms of the basic types the typed messages are built from.
namespace lumenary::mcp {

// The text of a JSON string: a data URL read as bytes gives back the text
// it was read from (or, made in code, the URL its bytes write as). Absent
// for every other kind of value.
inline std::optional<std::string> jsonText(const Value& value) {
    if (const auto* text = value.stringValue()) {
        return *text;
    }
    if (const auto* data = value.dataValue()) {
        return data->sourceText ? *data->sourceText : dataURLEncoded(data->bytes, data->mimeType);
    }
    return std::nullopt;
}

template <>
struct Coder<Value> {
    static Value encode(const Value& value) { return value; }
    static Value decode(const Decoder& decoder) { return decoder.value(); }
};

template <>
struct Coder<bool> {
    static Value encode(bool boolean) { return boolean; }
    static bool decode(const Decoder& decoder) {
        if (auto boolean = decoder.value().boolValue()) {
            return *boolean;
        }
        decoder.failTypeMismatch("a boolean");
    }
};

template <>
struct Coder<std::int64_t> {
    static Value encode(std::int64_t integer) { return integer; }
    static std::int64_t decode(const Decoder& decoder) {
        if (auto integer = decoder.value().intValue()) {
            return *integer;
        }
        decoder.failTypeMismatch("an integer");
    }
};

template <>
struct Coder<double> {
    static Value encode(double number) { return number; }
    static double decode(const Decoder& decoder) {
        if (auto number = decoder.value().doubleValue()) {
            return *number;
        }
        if (auto integer = decoder.value().intValue()) {
            return static_cast<double>(*integer);
        }
        decoder.failTypeMismatch("a number");
    }
};

template <>
struct Coder<std::string> {
    static Value encode(const std::string& text) { return text; }
    static std::string decode(const Decoder& decoder) {
        if (auto text = jsonText(decoder.value())) {
            return std::move(*text);
        }
        decoder.failTypeMismatch("a string");
    }
};

template <typename Element>
struct Coder<std::vector<Element>> {
    static Value encode(const std::vector<Element>& elements) {
        Value::Array array;
        array.reserve(elements.size());
        for (const auto& element : elements) {
            array.push_back(Coder<Element>::encode(element));
        }
        return array;
    }
    static std::vector<Element> decode(const Decoder& decoder) {
        const auto& array = decoder.array();
        std::vector<Element> elements;
        elements.reserve(array.size());
        for (std::size_t index = 0; index < array.size(); ++index) {
            elements.push_back(Coder<Element>::decode(decoder.element(index)));
        }
        return elements;
    }
};

template <typename Mapped>
struct Coder<std::map<std::string, Mapped>> {
    static Value encode(const std::map<std::string, Mapped>& map) {
        Value::Object object;
        for (const auto& [key, mapped] : map) {
            object.emplace(key, Coder<Mapped>::encode(mapped));
        }
        return object;
    }
    static std::map<std::string, Mapped> decode(const Decoder& decoder) {
        std::map<std::string, Mapped> map;
        for (const auto& [key, member] : decoder.object()) {
            map.emplace(key, decoder.template decode<Mapped>(key));
        }
        return map;
    }
};

// A single optional value: absent writes null, null reads as absent.
template <typename Wrapped>
struct Coder<std::optional<Wrapped>> {
    static Value encode(const std::optional<Wrapped>& optional) {
        return optional ? Coder<Wrapped>::encode(*optional) : Value();
    }
    static std::optional<Wrapped> decode(const Decoder& decoder) {
        if (decoder.isNull()) {
            return std::nullopt;
        }
        return Coder<Wrapped>::decode(decoder);
    }
};

// Writes an object member by member; absent optionals are left out.
class ObjectEncoder {
public:
    template <typename T>
    ObjectEncoder& set(std::string key, const T& member) {
        members_.insert_or_assign(std::move(key), Coder<T>::encode(member));
        return *this;
    }
    ObjectEncoder& set(std::string key, const char* text) { return set(std::move(key), std::string(text)); }
    template <typename T>
    ObjectEncoder& setIfPresent(std::string key, const std::optional<T>& member) {
        if (member) {
            set(std::move(key), *member);
        }
        return *this;
    }
    Value finish() { return Value(std::move(members_)); }

private:
    Value::Object members_;
};

}  // namespace lumenary::mcp
