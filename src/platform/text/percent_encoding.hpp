#pragma once

#include <string>
#include <string_view>

namespace lumenary::platform {

// The text with every byte percent-encoded (upper-case hexadecimal) except
// ASCII letters, digits, "-", ".", "_", "~" and the characters of
// `alsoBare`. Works on bytes, so UTF-8 comes out as its encoded bytes.
std::string percentEncoded(std::string_view text, std::string_view alsoBare = {});

}  // namespace lumenary::platform
