#pragma once

#include <string>
#include <string_view>

namespace lumenary::app {

// The project's address as the build set it (LUMENARY_PROJECT_URL); empty
// when the build set none.
std::string buildProjectAddress();

// The README of the source tree the program was built from.
std::string sourceReadmePath();

// What the banner, "关于我们" and "使用教程" open: the project's address,
// else the README as a file: link.
std::string documentAddress(std::string_view projectAddress, std::string_view readmePath);

// The recommendation the share row copies: the sentence, a line feed and the
// project's address; without an address the download clause and the address
// line are left out, as there is nothing to download from.
std::string shareText(std::string_view projectAddress);

}  // namespace lumenary::app
