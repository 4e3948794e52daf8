#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// The first `count` characters of `text` when it has more than `count`,
// else nothing. A character is what a reader sees as one (a base letter
// with its combining marks, a flag, an emoji sequence), so a cut never
// splits one, let alone a UTF-8 sequence. Bytes that are not UTF-8 are
// repaired first.
std::optional<std::string> leadingCharactersOfLonger(std::string_view text, std::size_t count);

}  // namespace lumenary::platform
