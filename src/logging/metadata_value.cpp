#include "logging/metadata_value.hpp"

#include <cstdio>
#include <ostream>

#include "logging/diagnostics_writer.hpp"

namespace lumenary::logging {
namespace {

void appendHexEscape(std::string& out, unsigned value) {
    char buffer[16];
    int length = std::snprintf(buffer, sizeof buffer, "\\u{%X}", value);
    out.append(buffer, static_cast<std::size_t>(length));
}

// The text in double quotes, with quote, backslash and control characters
// escaped, so a nested value's own quotes stay readable one level up.
void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t index = 0; index < text.size(); ++index) {
        auto byte = static_cast<unsigned char>(text[index]);
        switch (byte) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\t': out += "\\t"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\0': out += "\\0"; continue;
            default: break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            appendHexEscape(out, byte);
            continue;
        }
        // C1 control characters U+0080..U+009F are 0xC2 0x80..0x9F in UTF-8.
        if (byte == 0xC2 && index + 1 < text.size()) {
            auto next = static_cast<unsigned char>(text[index + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                appendHexEscape(out, next);
                ++index;
                continue;
            }
        }
        out += static_cast<char>(byte);
    }
    out += '"';
}

}  // namespace

MetadataValue::MetadataValue(Storage storage) : storage_(std::move(storage)) {}
MetadataValue::MetadataValue(std::string text) : storage_(std::move(text)) {}
MetadataValue::MetadataValue(std::string_view text) : storage_(std::string(text)) {}
MetadataValue::MetadataValue(const char* text) : storage_(std::string(text)) {}

MetadataValue MetadataValue::string(std::string text) {
    return MetadataValue(std::move(text));
}

MetadataValue MetadataValue::stringConvertible(std::shared_ptr<const StringConvertible> object) {
    return MetadataValue(Storage(std::in_place_type<std::shared_ptr<const StringConvertible>>, std::move(object)));
}

MetadataValue MetadataValue::dictionary(Dictionary entries) {
    return MetadataValue(Storage(std::in_place_type<Dictionary>, std::move(entries)));
}

MetadataValue MetadataValue::dictionary(std::initializer_list<std::pair<std::string, MetadataValue>> entries) {
    Dictionary dictionary;
    for (const auto& [key, value] : entries) {
        if (!dictionary.emplace(key, value).second) {
            abortWithDiagnostic("Duplicate values for key: '" + key + "'");
        }
    }
    return MetadataValue::dictionary(std::move(dictionary));
}

MetadataValue MetadataValue::array(Array elements) {
    return MetadataValue(Storage(std::in_place_type<Array>, std::move(elements)));
}

MetadataValue::Kind MetadataValue::kind() const noexcept {
    return static_cast<Kind>(storage_.index());
}

const std::string* MetadataValue::asString() const noexcept {
    return std::get_if<std::string>(&storage_);
}

const StringConvertible* MetadataValue::asStringConvertible() const noexcept {
    const auto* object = std::get_if<std::shared_ptr<const StringConvertible>>(&storage_);
    return object ? object->get() : nullptr;
}

const MetadataValue::Dictionary* MetadataValue::asDictionary() const noexcept {
    return std::get_if<Dictionary>(&storage_);
}

const MetadataValue::Array* MetadataValue::asArray() const noexcept {
    return std::get_if<Array>(&storage_);
}

std::string MetadataValue::description() const {
    if (const auto* text = asString()) return *text;
    if (const auto* object = asStringConvertible()) return object->description();
    std::string out = "[";
    if (const auto* elements = asArray()) {
        const char* separator = "";
        for (const auto& element : *elements) {
            out += separator;
            appendQuoted(out, element.description());
            separator = ", ";
        }
    } else {
        const auto& entries = *asDictionary();
        if (entries.empty()) out += ':';
        const char* separator = "";
        for (const auto& [key, value] : entries) {
            out += separator;
            appendQuoted(out, key);
            out += ": ";
            appendQuoted(out, value.description());
            separator = ", ";
        }
    }
    out += ']';
    return out;
}

bool operator==(const MetadataValue& left, const MetadataValue& right) {
    if (left.kind() != right.kind()) return false;
    if (const auto* object = left.asStringConvertible()) {
        return object->description() == right.asStringConvertible()->description();
    }
    // Strings, dictionaries and arrays compare member by member; nested values
    // come back here.
    return left.storage_ == right.storage_;
}

std::ostream& operator<<(std::ostream& out, const MetadataValue& value) {
    return out << value.description();
}

}  // namespace lumenary::logging
