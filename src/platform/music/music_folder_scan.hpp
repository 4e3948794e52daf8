#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// One audio or playlist file found in the music folder.
struct ScannedFile {
    std::string path;
    // Nanoseconds since the epoch.
    std::int64_t modified = 0;
    std::uintmax_t size = 0;
    bool isPlaylist = false;
};

// What a walk through the music folder found.
struct MusicFolderScan {
    bool folderExists = true;
    std::vector<ScannedFile> files;
};

// Every audio and playlist file below `folder`, at any depth: names that
// start with "." are skipped, symbolic links followed, each real folder
// entered once (so a link back up ends nowhere), and a subfolder that cannot
// be read is passed over. Only `folder` itself failing is an error (domain
// "MusicLibrary", its errno as the code).
PlatformOutcome<MusicFolderScan> scanMusicFolder(const std::filesystem::path& folder);

}  // namespace lumenary::platform
