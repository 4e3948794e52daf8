#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lumenary::platform {

// One playlist file of the music library (.m3u, .m3u8).
struct PlaylistFile {
    // The #PLAYLIST line's name, else the file name without its extension;
    // always UTF-8.
    std::string name;
    // Each entry as a path (a relative one taken from the playlist's
    // folder, a file: URI decoded to the bytes it names, which need not be
    // UTF-8) or, for a stream, its URL as written.
    std::vector<std::string> entries;
};

// Reads the text of the playlist file at `file` (only its name and folder
// are used). Comments other than #PLAYLIST are skipped; a text that is not
// UTF-8 is read as Latin-1, as old .m3u files are written.
PlaylistFile readPlaylistText(std::string_view text, const std::filesystem::path& file);

// Whether a file name ends in a playlist extension (either case).
bool isPlaylistFileName(const std::filesystem::path& file);

}  // namespace lumenary::platform
