#pragma once

#include <filesystem>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

// The user's music folder: $LUMENARY_MUSIC_DIR, else the defaults text
// musicDirectory, else XDG_MUSIC_DIR of the user's user-dirs.dirs, else
// ~/Music. Never the home folder itself, which user-dirs.dirs names for a
// folder the user has switched off.
std::filesystem::path musicLibraryFolder(const DefaultsStore& defaults);

// Where the library's index is kept: $XDG_CACHE_HOME/lumenary (when
// absolute), else ~/.cache/lumenary, file music-library.index.
std::filesystem::path musicLibraryIndexFile();

}  // namespace lumenary::platform
