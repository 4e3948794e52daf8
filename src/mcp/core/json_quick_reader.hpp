#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mcp/core/data_url.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// The reader for the texts nearly every message is: valid JSON, shallow,
// with integers of at most 18 digits and strings without \u escapes. It
// reads them into exactly the value the full reader gives, at a fraction of
// its cost, and gives up (nothing) on anything else, invalid text included,
// which the full reader then reads or refuses with its own reason.
std::optional<Value> readCommonJSON(std::string_view text);

// A JSON string as a value, for both readers: a text that is a whole data
// URL reads as bytes and keeps its text.
inline Value valueOfJSONString(std::string text) {
    if (text.starts_with("data:")) {
        if (auto parsed = parseDataURL(text)) {
            return Value::data(std::move(parsed->data), std::move(parsed->mimeType), std::move(text));
        }
    }
    return Value(std::move(text));
}

}  // namespace lumenary::mcp
