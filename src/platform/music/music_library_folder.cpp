#include "platform/music/music_library_folder.hpp"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "platform/defaults/cache_directory.hpp"
#include "platform/defaults/config_directory.hpp"
#include "platform/defaults/data_location.hpp"
#include "platform/defaults/home_directory.hpp"
#include "platform/text/plain_text.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view musicKey = "XDG_MUSIC_DIR=";

// The value of XDG_MUSIC_DIR in user-dirs.dirs: "$HOME/Music" or an
// absolute path, in double quotes, with \" and \\ escapes.
std::optional<std::filesystem::path> userDirsMusicFolder(const std::filesystem::path& home) {
    std::ifstream file(userConfigHome() / "user-dirs.dirs");
    std::string line;
    std::optional<std::filesystem::path> folder;
    while (std::getline(file, line)) {
        std::string_view text = trimmedBlanks(line);
        if (!text.starts_with(musicKey)) {
            continue;
        }
        text.remove_prefix(musicKey.size());
        if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
            continue;
        }
        text = text.substr(1, text.size() - 2);
        std::string value;
        for (std::size_t index = 0; index < text.size(); ++index) {
            if (text[index] == '\\' && index + 1 < text.size()) {
                ++index;
            }
            value.push_back(text[index]);
        }
        if (value == "$HOME" || value.starts_with("$HOME/")) {
            folder = home / std::string_view(value).substr(std::min<std::size_t>(value.size(), 6));
        } else if (!value.empty() && value.front() == '/') {
            folder = std::filesystem::path(value);
        }
    }
    return folder;
}

}  // namespace

std::filesystem::path musicLibraryFolder(const DefaultsStore& defaults) {
    if (auto configured = configuredDataLocation("LUMENARY_MUSIC_DIR", "musicDirectory", defaults)) {
        return *configured;
    }
    const auto home = homeDirectory();
    if (const auto folder = userDirsMusicFolder(home)) {
        if (folder->lexically_normal() != home.lexically_normal() &&
            folder->lexically_normal() != (home / "").lexically_normal()) {
            return *folder;
        }
    }
    return home / "Music";
}

std::filesystem::path musicLibraryIndexFile() {
    return cacheDirectory() / "music-library.index";
}

}  // namespace lumenary::platform
