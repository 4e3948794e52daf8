#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumenary::platform {

struct VCardProperty;

// A property's value as UTF-8 text, escapes still in place: quoted-printable
// decoded, converted from its CHARSET, and repaired where it is still not
// UTF-8 (Latin-1 bytes without a CHARSET, say).
std::string vCardValueText(const VCardProperty& property);

// "=C3=A9" as the bytes it stands for; a "=" that starts no hex pair stays.
std::string decodedQuotedPrintable(std::string_view text);

// The value's escapes undone: "\n" and "\N" a line feed, "\," "\;" "\\" and
// "\:" the character itself; any other backslash stays as written.
std::string unescapedVCardText(std::string_view text);

// A structured or list value (N, NICKNAME) split at each `separator` that no
// backslash escapes, each part unescaped.
std::vector<std::string> splitVCardValue(std::string_view text, char separator);

}  // namespace lumenary::platform
