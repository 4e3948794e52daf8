#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// `bytes` in the named character set (any name iconv knows, such as
// "ISO-8859-1" or "SHIFT_JIS") as UTF-8; nothing when the set is unknown or
// the bytes are not valid in it.
std::optional<std::string> convertedToUTF8(std::string_view bytes, const std::string& charset);

}  // namespace lumenary::platform
