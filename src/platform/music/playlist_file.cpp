#include "platform/music/playlist_file.hpp"

#include "platform/music/file_uri.hpp"
#include "platform/text/plain_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view nameDirective = "#PLAYLIST:";

std::string latin1AsUTF8(std::string_view text) {
    std::string converted;
    converted.reserve(text.size() * 2);
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x80) {
            converted.push_back(character);
        } else {
            converted.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            converted.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return converted;
}

// "http://...", "file:..." but not "C:\..." nor a path with a colon later on.
bool hasScheme(std::string_view entry) {
    const auto colon = entry.find(':');
    if (colon == std::string_view::npos || colon < 2) {
        return false;
    }
    for (std::size_t index = 0; index < colon; ++index) {
        const char character = entry[index];
        const bool allowed = (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
                             (index > 0 && ((character >= '0' && character <= '9') || character == '+' ||
                                            character == '-' || character == '.'));
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::string resolvedEntry(std::string_view entry, const std::filesystem::path& folder) {
    if (entry.starts_with("file:")) {
        if (auto path = pathOfFileUri(entry)) {
            return *path;
        }
        return std::string(entry);
    }
    if (hasScheme(entry)) {
        return std::string(entry);
    }
    const std::filesystem::path path(entry);
    if (path.is_absolute()) {
        return path.lexically_normal().string();
    }
    return (folder / path).lexically_normal().string();
}

}  // namespace

PlaylistFile readPlaylistText(std::string_view text, const std::filesystem::path& file) {
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
    }
    const std::string utf8 = system::isValidUTF8(text) ? std::string(text) : latin1AsUTF8(text);
    PlaylistFile playlist;
    const auto folder = file.parent_path();
    std::string_view rest = utf8;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        line = trimmedBlanks(line);
        // No file name holds a NUL byte.
        if (line.empty() || line.find('\0') != std::string_view::npos) {
            continue;
        }
        if (line.front() == '#') {
            if (line.starts_with(nameDirective)) {
                if (const auto name = trimmedBlanks(line.substr(nameDirective.size())); !name.empty()) {
                    playlist.name = std::string(name);
                }
            }
            continue;
        }
        playlist.entries.push_back(resolvedEntry(line, folder));
    }
    if (playlist.name.empty()) {
        playlist.name = system::repairUTF8(file.stem().string());
    }
    return playlist;
}

bool isPlaylistFileName(const std::filesystem::path& file) {
    const std::string extension = asciiLowercased(file.extension().string());
    return extension == ".m3u" || extension == ".m3u8";
}

}  // namespace lumenary::platform
