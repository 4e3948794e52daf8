#pragma once

#include <filesystem>

namespace lumenary::platform {

// The program's own cache folder: $XDG_CACHE_HOME/lumenary when that is an
// absolute path (the base directory rules ignore a relative one), else
// ~/.cache/lumenary. scripts/setup puts the fetched networks and models
// there too.
std::filesystem::path cacheDirectory();

}  // namespace lumenary::platform
