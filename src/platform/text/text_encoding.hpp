#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// The bytes read in the named character set ("ISO-8859-1", "shift_jis",
// ...) and written as UTF-8; nothing when the set is unknown here or the
// bytes are not of it. Labels that web pages mean as windows-1252
// ("iso-8859-1", "latin1", "us-ascii") are read as windows-1252, as
// browsers do.
std::optional<std::string> utf8FromCharset(std::string_view bytes, std::string_view charset);

}  // namespace lumenary::platform
