#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/tools/plain_value.hpp"

namespace lumenary::app {

// A tool argument counts only when its value has the kind the tool expects;
// a value of any other kind reads as absent, exactly as a missing key.
std::optional<std::string> textArgument(const PlainDictionary& arguments, std::string_view key);
// Whole numbers only: a double, even one that was whole on the wire before
// it became an integer, is not an integer here unless it arrived as one.
std::optional<std::int64_t> integerArgument(const PlainDictionary& arguments, std::string_view key);
std::optional<bool> booleanArgument(const PlainDictionary& arguments, std::string_view key);
// A "number": an integer or a double.
std::optional<double> numberArgument(const PlainDictionary& arguments, std::string_view key);
// An array whose elements are all texts (an empty one included); one
// element of another kind makes the whole argument absent.
std::optional<std::vector<std::string>> textListArgument(const PlainDictionary& arguments, std::string_view key);

}  // namespace lumenary::app
