#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumenary::platform {

// The longest file name most Linux file systems hold, in bytes.
inline constexpr std::size_t maximumFileNameBytes = 255;

// `name` as a name that stays where it is put and stays visible: "/", NUL
// and every other control character become "_", as does a leading "." (so
// neither "." nor ".." survives); an empty name is "_". Bytes that are not
// UTF-8 are repaired first. Not cut to any length.
std::string fileSystemName(std::string_view name);

// `name` cut on a character boundary so that `name + ending` fits in
// maximumFileNameBytes, with `ending` appended.
std::string fittedFileName(std::string_view name, std::string_view ending);

// `stem` with the clash number `number` appended: the stem itself for 1, else
// "<stem> <number>", cut so that the whole and `extension` fit one name.
std::string numberedFileName(std::string_view stem, std::size_t number, std::string_view extension);

}  // namespace lumenary::platform
