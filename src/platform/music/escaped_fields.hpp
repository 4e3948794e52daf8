#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumenary::platform {

// Lines of tab-separated fields, as the library index and the tag worker's
// pipe carry them: a field may hold any byte, so the tab, the line feed, the
// carriage return and the backslash that escapes them are written as \t, \n,
// \r and \\. A backslash before any other byte stands for that byte.

// Appends `field`, escaped, to `out`.
void appendEscapedField(std::string& out, std::string_view field);

// The fields of one line (without its line feed), unescaped; one empty
// field for an empty line.
std::vector<std::string> escapedFieldsOf(std::string_view line);

}  // namespace lumenary::platform
