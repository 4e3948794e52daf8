#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace lumenary::platform {

// Small edits of protocol and message text that several layers share.

// ASCII letters lower-cased, every other byte as it is: for header values,
// scheme names and character-set labels, which are ASCII by definition.
std::string asciiLowercased(std::string_view text);

// Without spaces, tabs and line breaks at either end.
std::string_view trimmedBlanks(std::string_view text);

// The last line that is not blank, trimmed: what a program said last, its
// verdict after whatever else it printed.
std::string_view lastLine(std::string_view text);

// Every `placeholder` in `text` replaced by `replacement`, which is not
// searched again.
std::string replacingAll(std::string text, std::string_view placeholder, std::string_view replacement);

// A duration in seconds as a person writes it: "15", "0.3".
std::string secondsText(std::chrono::milliseconds duration);

}  // namespace lumenary::platform
