#include <charconv>
#include <cmath>
#include <cstring>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/data_url.hpp"
#include "mcp/core/json.hpp"
#include "system/utf8.hpp"

namespace lumenary::mcp {

namespace {

class Writer {
public:
    Writer(std::string& out, JSONWriteOptions options) : out_(out), options_(options), depth_(options.enclosingDepth) {}

    void write(const Value& value) {
        switch (value.kind()) {
            case Value::Kind::null: out_ += "null"; return;
            case Value::Kind::boolean: out_ += *value.boolValue() ? "true" : "false"; return;
            case Value::Kind::integer: writeInteger(*value.intValue()); return;
            case Value::Kind::number: writeDouble(*value.doubleValue()); return;
            case Value::Kind::string: writeString(*value.stringValue()); return;
            case Value::Kind::data: writeData(*value.dataValue()); return;
            case Value::Kind::array: writeArray(*value.arrayValue()); return;
            case Value::Kind::object: writeObject(*value.objectValue()); return;
        }
    }

    // Copies runs of plain characters in one append; only the characters
    // that need an escape are handled one by one.
    void writeString(std::string_view text) {
        // Text of ASCII alone, the common case, needs no UTF-8 check.
        unsigned char bytesSeen = 0;
        for (const char character : text) {
            bytesSeen |= static_cast<unsigned char>(character);
        }
        if (bytesSeen >= 0x80 && !system::isValidUTF8(text)) {
            throw EncodingError("Cannot write text that is not valid UTF-8 as JSON");
        }
        out_.reserve(out_.size() + text.size() + 2);
        out_ += '"';
        // A control character stands in for the slash when it is written
        // bare; control characters are escaped anyway.
        const unsigned char escapedSlash = options_.escapeSlashes ? '/' : 0;
        const char* run = text.data();
        const char* end = text.data() + text.size();
        for (const char* cursor = run; cursor != end; ++cursor) {
            const auto byte = static_cast<unsigned char>(*cursor);
            if (byte >= 0x20 && byte != '"' && byte != '\\' && byte != escapedSlash) {
                continue;
            }
            out_.append(run, cursor);
            appendEscape(byte);
            run = cursor + 1;
        }
        out_.append(run, end);
        out_ += '"';
    }

private:
    void writeInteger(std::int64_t integer) {
        char buffer[24];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, integer);
        out_.append(buffer, result.ptr);
    }

    void writeDouble(double number) {
        if (!std::isfinite(number)) {
            throw EncodingError("Cannot write the non-finite number " + doubleText(number) + " as JSON");
        }
        out_ += doubleText(number);
    }

    // Written as a string, so a quote or backslash someone put in a media
    // type is escaped.
    void writeData(const Value::Data& data) { writeString(dataURLEncoded(data.bytes, data.mimeType)); }

    void writeArray(const Value::Array& elements) {
        if (options_.prettyPrinted) {
            writePrettyArray(elements);
            return;
        }
        enter();
        out_ += '[';
        bool first = true;
        for (const auto& element : elements) {
            if (!first) out_ += ',';
            first = false;
            write(element);
        }
        out_ += ']';
        --depth_;
    }

    void writeObject(const Value::Object& members) {
        if (options_.prettyPrinted) {
            writePrettyObject(members);
            return;
        }
        enter();
        out_ += '{';
        bool first = true;
        for (const auto& [key, member] : members) {
            if (!first) out_ += ',';
            first = false;
            writeString(key);
            out_ += ':';
            write(member);
        }
        out_ += '}';
        --depth_;
    }

    void writePrettyArray(const Value::Array& elements) {
        enter();
        if (elements.empty()) {
            out_ += "[]";
            --depth_;
            return;
        }
        out_ += '[';
        bool first = true;
        for (const auto& element : elements) {
            out_ += first ? "\n" : ",\n";
            first = false;
            indent(depth_);
            write(element);
        }
        out_ += '\n';
        indent(depth_ - 1);
        out_ += ']';
        --depth_;
    }

    void writePrettyObject(const Value::Object& members) {
        enter();
        if (members.empty()) {
            out_ += "{}";
            --depth_;
            return;
        }
        out_ += '{';
        bool first = true;
        for (const auto& [key, member] : members) {
            out_ += first ? "\n" : ",\n";
            first = false;
            indent(depth_);
            writeString(key);
            out_ += ": ";
            write(member);
        }
        out_ += '\n';
        indent(depth_ - 1);
        out_ += '}';
        --depth_;
    }

    // Two spaces a level, counted from the value written, not from the
    // containers a surrounding text opened.
    void indent(std::size_t depth) { out_.append(2 * (depth - options_.enclosingDepth), ' '); }

    void enter() {
        if (++depth_ > maximumJSONNestingDepth) {
            throw EncodingError("Cannot write JSON nested deeper than " + std::to_string(maximumJSONNestingDepth) +
                                " levels");
        }
    }

    void appendEscape(unsigned char byte) {
        switch (byte) {
            case '"': out_ += "\\\""; return;
            case '\\': out_ += "\\\\"; return;
            case '/': out_ += "\\/"; return;
            case '\b': out_ += "\\b"; return;
            case '\f': out_ += "\\f"; return;
            case '\n': out_ += "\\n"; return;
            case '\r': out_ += "\\r"; return;
            case '\t': out_ += "\\t"; return;
            default: {
                static constexpr char hex[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
                out_.append(escape, sizeof escape);
            }
        }
    }

    std::string& out_;
    JSONWriteOptions options_;
    std::size_t depth_;
};

}  // namespace

void appendJSON(std::string& out, const Value& value, JSONWriteOptions options) {
    Writer(out, options).write(value);
}

void appendJSONString(std::string& out, std::string_view text, JSONWriteOptions options) {
    Writer(out, options).writeString(text);
}

std::string writeJSON(const Value& value, JSONWriteOptions options) {
    std::string out;
    appendJSON(out, value, options);
    return out;
}

}  // namespace lumenary::mcp
