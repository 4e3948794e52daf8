#include "mcp/core/value.hpp"

#include <charconv>
#include <cmath>

#include "mcp/core/data_url.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

Value Value::object(std::initializer_list<std::pair<std::string, Value>> members) {
    Object object;
    for (const auto& [key, member] : members) {
        object.insert_or_assign(key, member);
    }
    return object;
}

Value Value::array(std::initializer_list<Value> elements) {
    return Array(elements);
}

Value Value::data(std::string bytes, std::optional<std::string> mimeType, std::optional<std::string> sourceText) {
    return Data{std::move(mimeType), std::move(bytes), std::move(sourceText)};
}

std::optional<bool> Value::boolValue() const noexcept {
    if (const auto* boolean = std::get_if<bool>(&storage_)) {
        return *boolean;
    }
    return std::nullopt;
}

std::optional<std::int64_t> Value::intValue() const noexcept {
    if (const auto* integer = std::get_if<std::int64_t>(&storage_)) {
        return *integer;
    }
    return std::nullopt;
}

std::optional<double> Value::doubleValue() const noexcept {
    if (const auto* number = std::get_if<double>(&storage_)) {
        return *number;
    }
    return std::nullopt;
}

const Value* Value::find(std::string_view key) const noexcept {
    const auto* members = objectValue();
    if (members == nullptr) {
        return nullptr;
    }
    auto found = members->find(key);
    return found == members->end() ? nullptr : &found->second;
}

std::string doubleText(double number) {
    if (std::isnan(number)) {
        return "nan";
    }
    if (std::isinf(number)) {
        return number < 0 ? "-inf" : "inf";
    }
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

namespace {

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char character : text) {
        switch (character) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += character; break;
        }
    }
    out += '"';
}

void appendDescription(std::string& out, const Value& value);

void appendDescription(std::string& out, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::null: return;
        case Value::Kind::boolean: out += *value.boolValue() ? "true" : "false"; return;
        case Value::Kind::integer: out += std::to_string(*value.intValue()); return;
        case Value::Kind::number: out += doubleText(*value.doubleValue()); return;
        case Value::Kind::string: out += *value.stringValue(); return;
        case Value::Kind::data: {
            const auto& data = *value.dataValue();
            out += dataURLEncoded(data.bytes, data.mimeType);
            return;
        }
        case Value::Kind::array: {
            out += '[';
            bool first = true;
            for (const auto& element : *value.arrayValue()) {
                if (!first) out += ", ";
                first = false;
                appendDescription(out, element);
            }
            out += ']';
            return;
        }
        case Value::Kind::object: {
            const auto& members = *value.objectValue();
            if (members.empty()) {
                out += "[:]";
                return;
            }
            out += '[';
            bool first = true;
            for (const auto& [key, member] : members) {
                if (!first) out += ", ";
                first = false;
                appendQuoted(out, key);
                out += ": ";
                appendDescription(out, member);
            }
            out += ']';
            return;
        }
    }
}

void feed(system::Hasher& hasher, const Value& value) {
    hasher.combine(static_cast<std::uint64_t>(value.kind()));
    switch (value.kind()) {
        case Value::Kind::null: return;
        case Value::Kind::boolean: hasher.combine(*value.boolValue() ? 1U : 0U); return;
        case Value::Kind::integer: hasher.combine(static_cast<std::uint64_t>(*value.intValue())); return;
        case Value::Kind::number: {
            // 0.0 and -0.0 are equal, so they must hash alike.
            const double number = *value.doubleValue() == 0.0 ? 0.0 : *value.doubleValue();
            std::uint64_t bits;
            static_assert(sizeof bits == sizeof number);
            __builtin_memcpy(&bits, &number, sizeof bits);
            hasher.combine(bits);
            return;
        }
        case Value::Kind::string: hasher.combine(std::string_view(*value.stringValue())); return;
        case Value::Kind::data: {
            const auto& data = *value.dataValue();
            hasher.combine(data.mimeType ? 1U : 0U);
            if (data.mimeType) hasher.combine(std::string_view(*data.mimeType));
            hasher.combine(std::string_view(data.bytes));
            return;
        }
        case Value::Kind::array:
            hasher.combine(static_cast<std::uint64_t>(value.arrayValue()->size()));
            for (const auto& element : *value.arrayValue()) feed(hasher, element);
            return;
        case Value::Kind::object: {
            // Order-independent, so equal objects hash alike however they were built.
            std::uint64_t digest = 0;
            for (const auto& [key, member] : *value.objectValue()) {
                system::Hasher entry = hasher;
                entry.combine(std::string_view(key));
                feed(entry, member);
                digest ^= entry.finalize();
            }
            hasher.combine(digest);
            return;
        }
    }
}

}  // namespace

std::string Value::description() const {
    std::string out;
    appendDescription(out, *this);
    return out;
}

std::size_t Value::hash() const noexcept {
    system::Hasher hasher;
    feed(hasher, *this);
    return hasher.finalize();
}

bool operator==(const Value& left, const Value& right) noexcept {
    if (left.kind() == Value::Kind::data && right.kind() == Value::Kind::data) {
        return *left.dataValue() == *right.dataValue();
    }
    // std::variant's equality compares doubles with ==, giving IEEE rules.
    return left.storage_ == right.storage_;
}

}  // namespace lumenary::mcp
