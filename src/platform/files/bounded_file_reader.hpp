#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// The bytes of one regular file of at most `maximumBytes`. A larger file,
// one that is not a regular file (a named pipe never stalls the reader) or
// one that cannot be read is a PlatformError of `domain`, code 500, naming
// the path.
PlatformOutcome<std::string> readBoundedFile(const std::filesystem::path& path, std::uintmax_t maximumBytes,
                                             const std::string& domain);

}  // namespace lumenary::platform
