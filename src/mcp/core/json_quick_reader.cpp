#include "mcp/core/json_quick_reader.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "mcp/core/json.hpp"
#include "mcp/core/utf8.hpp"

namespace lumenary::mcp {

namespace {

// Deeper texts are left to the full reader, whose stack is its own: this
// one recurses, so its depth stays small.
constexpr std::size_t maximumQuickDepth = 64;
// More digits may not fit 64 bits; the full reader decides what they are.
constexpr std::size_t maximumQuickIntegerDigits = 18;

class QuickReader {
public:
    explicit QuickReader(std::string_view text) : cursor_(text.data()), end_(text.data() + text.size()) {}

    std::optional<Value> read() {
        Value root;
        if (!readValue(root)) {
            return std::nullopt;
        }
        skipWhitespace();
        if (cursor_ != end_) {
            return std::nullopt;
        }
        return root;
    }

private:
    void skipWhitespace() {
        while (cursor_ != end_ && (*cursor_ == ' ' || *cursor_ == '\n' || *cursor_ == '\r' || *cursor_ == '\t')) {
            ++cursor_;
        }
    }

    bool counted() { return ++count_ <= maximumJSONValueCount; }

    bool readValue(Value& out) {
        skipWhitespace();
        if (cursor_ == end_ || !counted()) {
            return false;
        }
        switch (*cursor_) {
            case '{': return readObject(out);
            case '[': return readArray(out);
            case '"': {
                std::string text;
                if (!readString(text)) {
                    return false;
                }
                out = valueOfJSONString(std::move(text));
                return true;
            }
            case 't': return readLiteral("true", out, Value(true));
            case 'f': return readLiteral("false", out, Value(false));
            case 'n': return readLiteral("null", out, Value());
            default: return readNumber(out);
        }
    }

    bool readLiteral(std::string_view literal, Value& out, Value value) {
        if (static_cast<std::size_t>(end_ - cursor_) < literal.size() ||
            std::memcmp(cursor_, literal.data(), literal.size()) != 0) {
            return false;
        }
        cursor_ += literal.size();
        out = std::move(value);
        return true;
    }

    bool enter() { return ++depth_ <= maximumQuickDepth; }

    bool readObject(Value& out) {
        if (!enter()) {
            return false;
        }
        ++cursor_;
        Value::Object members;
        skipWhitespace();
        if (cursor_ != end_ && *cursor_ == '}') {
            ++cursor_;
        } else {
            for (;;) {
                skipWhitespace();
                std::string key;
                if (cursor_ == end_ || *cursor_ != '"' || !readString(key)) {
                    return false;
                }
                skipWhitespace();
                if (cursor_ == end_ || *cursor_ != ':') {
                    return false;
                }
                ++cursor_;
                // A key named twice keeps its last value.
                auto [member, inserted] = members.try_emplace(std::move(key));
                if (!readValue(member->second)) {
                    return false;
                }
                skipWhitespace();
                if (cursor_ == end_) {
                    return false;
                }
                if (*cursor_ == '}') {
                    ++cursor_;
                    break;
                }
                if (*cursor_ != ',') {
                    return false;
                }
                ++cursor_;
            }
        }
        --depth_;
        out = Value(std::move(members));
        return true;
    }

    bool readArray(Value& out) {
        if (!enter()) {
            return false;
        }
        ++cursor_;
        Value::Array elements;
        skipWhitespace();
        if (cursor_ != end_ && *cursor_ == ']') {
            ++cursor_;
        } else {
            for (;;) {
                if (!readValue(elements.emplace_back())) {
                    return false;
                }
                skipWhitespace();
                if (cursor_ == end_) {
                    return false;
                }
                if (*cursor_ == ']') {
                    ++cursor_;
                    break;
                }
                if (*cursor_ != ',') {
                    return false;
                }
                ++cursor_;
            }
        }
        --depth_;
        out = Value(std::move(elements));
        return true;
    }

    // Plain runs are copied whole; of the escapes only the one-letter ones
    // are read here.
    bool readString(std::string& out) {
        ++cursor_;
        const char* run = cursor_;
        // Text of ASCII alone needs no UTF-8 check.
        unsigned char bytesSeen = 0;
        for (;;) {
            if (cursor_ == end_) {
                return false;
            }
            const auto byte = static_cast<unsigned char>(*cursor_);
            bytesSeen |= byte;
            if (byte == '"') {
                out.append(run, cursor_);
                ++cursor_;
                return bytesSeen < 0x80 || isValidUTF8(out);
            }
            if (byte < 0x20) {
                return false;
            }
            if (byte != '\\') {
                ++cursor_;
                continue;
            }
            out.append(run, cursor_);
            if (++cursor_ == end_) {
                return false;
            }
            switch (*cursor_) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                default: return false;
            }
            run = ++cursor_;
        }
    }

    static bool isDigit(char character) { return character >= '0' && character <= '9'; }

    std::size_t skipDigits() {
        const char* start = cursor_;
        while (cursor_ != end_ && isDigit(*cursor_)) {
            ++cursor_;
        }
        return static_cast<std::size_t>(cursor_ - start);
    }

    bool readNumber(Value& out) {
        const char* start = cursor_;
        const bool negative = *cursor_ == '-';
        if (negative) {
            ++cursor_;
        }
        const char* digits = cursor_;
        const std::size_t integerDigits = skipDigits();
        // No leading zeros: "0" stands alone.
        if (integerDigits == 0 || (*digits == '0' && integerDigits > 1)) {
            return false;
        }
        bool isInteger = true;
        if (cursor_ != end_ && *cursor_ == '.') {
            ++cursor_;
            if (skipDigits() == 0) {
                return false;
            }
            isInteger = false;
        }
        if (cursor_ != end_ && (*cursor_ == 'e' || *cursor_ == 'E')) {
            ++cursor_;
            if (cursor_ != end_ && (*cursor_ == '+' || *cursor_ == '-')) {
                ++cursor_;
            }
            if (skipDigits() == 0) {
                return false;
            }
            isInteger = false;
        }
        if (isInteger) {
            if (integerDigits > maximumQuickIntegerDigits) {
                return false;
            }
            std::int64_t magnitude = 0;
            for (const char* digit = digits; digit != cursor_; ++digit) {
                magnitude = magnitude * 10 + (*digit - '0');
            }
            out = Value(negative ? -magnitude : magnitude);
            return true;
        }
        double number = 0;
        const auto [end, error] = std::from_chars(start, cursor_, number);
        if (error != std::errc() || end != cursor_ || !std::isfinite(number)) {
            return false;
        }
        out = Value(number);
        return true;
    }

    const char* cursor_;
    const char* end_;
    std::size_t depth_ = 0;
    std::size_t count_ = 0;
};

}  // namespace

std::optional<Value> readCommonJSON(std::string_view text) {
    return QuickReader(text).read();
}

}  // namespace lumenary::mcp
