#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/data_url.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::mcp {

namespace {

// Builds a Value straight from the parser's events; open containers are kept
// on an explicit stack, so nesting never recurses.
class ValueBuilder {
public:
    using number_integer_t = std::int64_t;
    using number_unsigned_t = std::uint64_t;
    using number_float_t = double;
    using string_t = std::string;
    using binary_t = nlohmann::json::binary_t;

    bool null() { return add(Value()); }
    bool boolean(bool boolean) { return add(Value(boolean)); }
    bool number_integer(std::int64_t integer) { return add(Value(integer)); }
    bool number_unsigned(std::uint64_t integer) {
        if (integer > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return add(Value(static_cast<double>(integer)));
        }
        return add(Value(static_cast<std::int64_t>(integer)));
    }
    bool number_float(double number, const std::string& text) {
        if (!std::isfinite(number)) {
            return stop("Number " + text + " is out of range");
        }
        return add(Value(number));
    }
    bool string(std::string& text) {
        if (text.starts_with("data:")) {
            if (auto parsed = parseDataURL(text)) {
                return add(Value::data(std::move(parsed->data), std::move(parsed->mimeType), std::move(text)));
            }
        }
        return add(Value(std::move(text)));
    }
    bool binary(binary_t&) { return stop("Binary values are not JSON"); }

    bool start_object(std::size_t) { return open(Value(Value::Object{})); }
    bool key(std::string& key) {
        key_ = std::move(key);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(Value(Value::Array{})); }
    bool end_array() { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        std::string_view message = error.what();
        // The reason reaches peers in error replies: without the library's
        // "[json.exception.parse_error.101] " tag.
        if (auto tagEnd = message.find("] "); message.starts_with("[json.exception.") && tagEnd != message.npos) {
            message.remove_prefix(tagEnd + 2);
        }
        return stop(std::string(message));
    }

    Value takeResult() { return std::move(root_); }
    const std::optional<std::string>& failure() const { return failure_; }

private:
    bool add(Value value) {
        if (++count_ > maximumJSONValueCount) {
            return stop("More than " + std::to_string(maximumJSONValueCount) + " values");
        }
        if (open_.empty()) {
            root_ = std::move(value);
            return true;
        }
        Value& container = *open_.back();
        if (auto* elements = container.arrayValue()) {
            elements->push_back(std::move(value));
        } else {
            container.objectValue()->insert_or_assign(std::move(key_), std::move(value));
        }
        return true;
    }

    bool open(Value container) {
        if (++count_ > maximumJSONValueCount) {
            return stop("More than " + std::to_string(maximumJSONValueCount) + " values");
        }
        if (open_.size() >= maximumJSONNestingDepth) {
            return stop("Nesting deeper than " + std::to_string(maximumJSONNestingDepth) + " levels");
        }
        if (open_.empty()) {
            root_ = std::move(container);
            open_.push_back(&root_);
            return true;
        }
        // The parent is not touched again until this child closes, so a
        // pointer into it stays valid.
        Value& parent = *open_.back();
        Value* child;
        if (auto* elements = parent.arrayValue()) {
            elements->push_back(std::move(container));
            child = &elements->back();
        } else {
            auto [position, inserted] = parent.objectValue()->insert_or_assign(std::move(key_), std::move(container));
            child = &position->second;
        }
        open_.push_back(child);
        return true;
    }

    bool close() {
        open_.pop_back();
        return true;
    }

    bool stop(std::string reason) {
        if (!failure_) {
            failure_ = std::move(reason);
        }
        return false;
    }

    Value root_;
    std::vector<Value*> open_;
    std::string key_;
    std::size_t count_ = 0;
    std::optional<std::string> failure_;
};

}  // namespace

Value parseJSON(std::string_view text) {
    ValueBuilder builder;
    const bool complete = nlohmann::json::sax_parse(text.begin(), text.end(), &builder);
    if (!complete || builder.failure()) {
        throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                            "The given data was not valid JSON: " + builder.failure().value_or("unexpected end"));
    }
    return builder.takeResult();
}

}  // namespace lumenary::mcp
