// The JSON reader into a value and back through the writer: a text that
// reads must write, and the written text must read back to an equal value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

using namespace lumenary::mcp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Value value;
    try {
        value = parseJSON(text);
    } catch (const DecodingError&) {
        return 0;
    }
    const std::string written = writeJSON(value);
    LUMENARY_FUZZ_CHECK(parseJSON(written) == value);
    const std::string pretty = writeJSON(value, {.prettyPrinted = true});
    LUMENARY_FUZZ_CHECK(parseJSON(pretty) == value);
    const std::string escaped = writeJSON(value, {.escapeSlashes = true});
    LUMENARY_FUZZ_CHECK(parseJSON(escaped) == value);
    // Written once, the text is the writer's own: writing again changes nothing.
    LUMENARY_FUZZ_CHECK(writeJSON(parseJSON(written)) == written);
    return 0;
}
