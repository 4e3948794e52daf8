#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// Deeper nesting is refused: no input can exhaust the stack when a value is
// read, written, compared or destroyed.
inline constexpr std::size_t maximumJSONNestingDepth = 512;
// More values are refused too: a text of tiny values ("[0,0,0,...") would
// otherwise take some thirty times its own size in memory.
inline constexpr std::size_t maximumJSONValueCount = 2'000'000;

// Reads one JSON text. Throws DecodingError (data corrupted) with the reason
// for invalid JSON or UTF-8, nesting or size beyond the limits, or a number
// beyond the range of a double. Integers beyond 64 bits read as doubles; a text that is a
// whole data URL reads as bytes.
Value parseJSON(std::string_view text);

struct JSONWriteOptions {
    // The MCP wire writes "/" bare; some texts need "\/".
    bool escapeSlashes = false;
    // Indented by two spaces, one member or element per line, for texts a
    // person reads.
    bool prettyPrinted = false;
    // How many containers a text written around the value already opened,
    // so that the nesting limit counts the whole text.
    std::size_t enclosingDepth = 0;
};

// Writes JSON (compact unless asked otherwise) with object keys sorted. Throws EncodingError for a
// non-finite double or text that is not UTF-8.
std::string writeJSON(const Value& value, JSONWriteOptions options = {});
void appendJSON(std::string& out, const Value& value, JSONWriteOptions options = {});
// One JSON string, quoted and escaped as appendJSON writes it.
void appendJSONString(std::string& out, std::string_view text, JSONWriteOptions options = {});

}  // namespace lumenary::mcp
