#include "platform/music/music_library.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/files/durable_temporary_file.hpp"
#include "platform/music/music_folder_scan.hpp"
#include "platform/music/playlist_file.hpp"
#include "platform/text/unicode_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view indexHeader = "lumenary music index 1";
// Larger playlist files are listed by their file name alone.
constexpr std::uintmax_t playlistFileLimit = 4 * 1024 * 1024;

// Fields are separated by tabs and entries by line feeds, so both are
// escaped within a field, and the backslash that escapes them.
void appendField(std::string& out, std::string_view field) {
    for (const char character : field) {
        switch (character) {
            case '\\': out.append("\\\\"); break;
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            default: out.push_back(character);
        }
    }
}

std::vector<std::string> fieldsOf(std::string_view line) {
    std::vector<std::string> fields(1);
    for (std::size_t index = 0; index < line.size(); ++index) {
        const char character = line[index];
        if (character == '\t') {
            fields.emplace_back();
        } else if (character == '\\' && index + 1 < line.size()) {
            const char escaped = line[++index];
            fields.back().push_back(escaped == 't' ? '\t' : escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped);
        } else {
            fields.back().push_back(character);
        }
    }
    return fields;
}

std::optional<std::int64_t> integerOf(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    std::istringstream stream(text);
    if (!(stream >> value) || !stream.eof()) {
        return std::nullopt;
    }
    return value;
}

std::string fileStem(const std::string& path) {
    return system::repairUTF8(std::filesystem::path(path).stem().string());
}

PlatformError unreadableFolder(const std::filesystem::path& folder, const PlatformError& error) {
    return PlatformError{"MusicLibrary", 500,
                         "The music folder " + system::repairUTF8(folder.string()) +
                             " cannot be read: " + error.description +
                             ". Set LUMENARY_MUSIC_DIR or the defaults key musicDirectory to your music folder."};
}

}  // namespace

MusicLibrary::MusicLibrary(MusicLibrarySettings settings, std::shared_ptr<AudioTagReader> tags,
                           std::function<void(const std::string&)> console)
    : settings_(std::move(settings)), tags_(std::move(tags)), console_(std::move(console)) {}

MusicLibrary::Entry MusicLibrary::readEntry(const std::string& file, std::int64_t modified, std::uintmax_t size,
                                            bool isPlaylist) const {
    Entry entry;
    entry.modified = modified;
    entry.size = size;
    entry.isPlaylist = isPlaylist;
    if (isPlaylist) {
        auto bytes = readBoundedFile(file, playlistFileLimit, "MusicLibrary");
        entry.playlist = {.name = bytes ? readPlaylistText(bytes.value(), file).name : fileStem(file), .file = file};
        return entry;
    }
    entry.track.file = file;
    if (auto tags = tags_->read(file)) {
        entry.track.title = std::move(tags->title);
        entry.track.artist = std::move(tags->artist);
        entry.track.album = std::move(tags->album);
        entry.track.durationMilliseconds = tags->durationMilliseconds;
    }
    if (entry.track.title.empty()) {
        entry.track.title = fileStem(file);
    }
    entry.titleKey = lowercased(entry.track.title);
    entry.artistKey = lowercased(entry.track.artist);
    entry.albumKey = lowercased(entry.track.album);
    return entry;
}

void MusicLibrary::loadIndex() {
    loaded_ = true;
    if (settings_.indexFile.empty()) {
        return;
    }
    std::ifstream file(settings_.indexFile, std::ios::binary);
    std::string line;
    if (!std::getline(file, line) || line != indexHeader || !std::getline(file, line)) {
        return;
    }
    if (fieldsOf(line).front() != settings_.folder.string()) {
        return;
    }
    while (std::getline(file, line)) {
        auto fields = fieldsOf(line);
        const auto modified = fields.size() >= 4 ? integerOf(fields[2]) : std::nullopt;
        const auto size = fields.size() >= 4 ? integerOf(fields[3]) : std::nullopt;
        if (!modified || !size || *size < 0) {
            continue;
        }
        Entry entry;
        entry.modified = *modified;
        entry.size = static_cast<std::uintmax_t>(*size);
        if (fields[0] == "p" && fields.size() == 5) {
            entry.isPlaylist = true;
            entry.playlist = {.name = system::repairUTF8(fields[4]), .file = fields[1]};
        } else if (fields[0] == "t" && fields.size() == 8) {
            entry.track = {.file = fields[1],
                           .title = system::repairUTF8(fields[4]),
                           .artist = system::repairUTF8(fields[5]),
                           .album = system::repairUTF8(fields[6]),
                           .durationMilliseconds = integerOf(fields[7])};
            entry.titleKey = lowercased(entry.track.title);
            entry.artistKey = lowercased(entry.track.artist);
            entry.albumKey = lowercased(entry.track.album);
        } else {
            continue;
        }
        entries_.insert_or_assign(fields[1], std::move(entry));
    }
}

void MusicLibrary::saveIndex() const {
    if (settings_.indexFile.empty()) {
        return;
    }
    std::string text(indexHeader);
    text.push_back('\n');
    appendField(text, settings_.folder.string());
    text.push_back('\n');
    for (const auto& [path, entry] : entries_) {
        text.append(entry.isPlaylist ? "p\t" : "t\t");
        appendField(text, path);
        text.append("\t" + std::to_string(entry.modified) + "\t" + std::to_string(entry.size) + "\t");
        if (entry.isPlaylist) {
            appendField(text, entry.playlist.name);
        } else {
            appendField(text, entry.track.title);
            text.push_back('\t');
            appendField(text, entry.track.artist);
            text.push_back('\t');
            appendField(text, entry.track.album);
            text.push_back('\t');
            if (entry.track.durationMilliseconds) {
                text.append(std::to_string(*entry.track.durationMilliseconds));
            }
        }
        text.push_back('\n');
    }
    std::error_code ignored;
    std::filesystem::create_directories(settings_.indexFile.parent_path(), ignored);
    const auto written = writeDurableTemporaryFile(settings_.indexFile.string() + ".XXXXXX", text);
    if (written.errorNumber == 0 && std::rename(written.path.c_str(), settings_.indexFile.c_str()) == 0) {
        return;
    }
    if (written.errorNumber == 0) {
        std::remove(written.path.c_str());
    }
    // The index only saves time: the library works without it.
}

std::optional<PlatformError> MusicLibrary::refresh() {
    if (!loaded_) {
        loadIndex();
    }
    auto scan = scanMusicFolder(settings_.folder);
    if (!scan) {
        return unreadableFolder(settings_.folder, scan.error());
    }
    if (!scan.value().folderExists) {
        if (!saidAbsent_) {
            saidAbsent_ = true;
            console_("The music folder " + system::repairUTF8(settings_.folder.string()) +
                     " does not exist: the music library is empty. Set LUMENARY_MUSIC_DIR or the defaults key "
                     "musicDirectory to your music folder.");
        }
        if (!entries_.empty()) {
            entries_.clear();
            saveIndex();
        }
        return std::nullopt;
    }
    saidAbsent_ = false;
    bool changed = false;
    std::unordered_set<std::string> present;
    present.reserve(scan.value().files.size());
    for (auto& found : scan.value().files) {
        present.insert(found.path);
        const auto known = entries_.find(found.path);
        if (known != entries_.end() && known->second.modified == found.modified && known->second.size == found.size &&
            known->second.isPlaylist == found.isPlaylist) {
            continue;
        }
        entries_.insert_or_assign(found.path, readEntry(found.path, found.modified, found.size, found.isPlaylist));
        changed = true;
    }
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        if (present.contains(entry->first)) {
            ++entry;
        } else {
            entry = entries_.erase(entry);
            changed = true;
        }
    }
    if (changed) {
        saveIndex();
    }
    return std::nullopt;
}

PlatformOutcome<MusicLibrary::Counts> MusicLibrary::counts() {
    std::lock_guard lock(mutex_);
    if (auto failure = refresh()) {
        return *failure;
    }
    Counts counts;
    for (const auto& [path, entry] : entries_) {
        ++(entry.isPlaylist ? counts.playlists : counts.tracks);
    }
    return counts;
}

PlatformOutcome<std::vector<LibraryTrack>> MusicLibrary::search(std::string_view query, std::size_t limit) {
    std::lock_guard lock(mutex_);
    if (auto failure = refresh()) {
        return *failure;
    }
    const std::string needle = lowercased(query);
    std::vector<LibraryTrack> found;
    for (const auto& [path, entry] : entries_) {
        if (found.size() >= limit) {
            break;
        }
        if (entry.isPlaylist) {
            continue;
        }
        if (entry.titleKey.find(needle) != std::string::npos || entry.artistKey.find(needle) != std::string::npos ||
            entry.albumKey.find(needle) != std::string::npos) {
            found.push_back(entry.track);
        }
    }
    return found;
}

PlatformOutcome<std::vector<LibraryPlaylist>> MusicLibrary::playlists() {
    std::lock_guard lock(mutex_);
    if (auto failure = refresh()) {
        return *failure;
    }
    std::vector<LibraryPlaylist> found;
    for (const auto& [path, entry] : entries_) {
        if (entry.isPlaylist) {
            found.push_back(entry.playlist);
        }
    }
    return found;
}

}  // namespace lumenary::platform
