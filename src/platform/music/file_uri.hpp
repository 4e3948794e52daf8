#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// "file:///home/ada/M%C3%BAsica/a%20b.mp3" for an absolute path: every byte
// but the unreserved ones and "/" percent-encoded, so any file name, UTF-8
// or not, survives the trip to a player or the URL opener.
std::string fileUri(const std::filesystem::path& absolutePath);

// The path of a local file: URI ("file:///x", "file://localhost/x");
// absent for another host, a relative form or an encoded NUL byte.
std::optional<std::string> pathOfFileUri(std::string_view uri);

}  // namespace lumenary::platform
