#include "platform/music/music_library.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <unordered_set>
#include <variant>

#include "platform/files/bounded_file_reader.hpp"
#include "platform/files/durable_temporary_file.hpp"
#include "platform/music/escaped_fields.hpp"
#include "platform/music/music_folder_scan.hpp"
#include "platform/music/playlist_file.hpp"
#include "platform/text/unicode_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view indexHeader = "lumenary music index 1";
// Larger playlist files are listed by their file name alone.
constexpr std::uintmax_t playlistFileLimit = 4 * 1024 * 1024;
// A line is about 250 bytes for a file with a common path and tags, so this
// holds about half a million tracks, past the largest personal libraries;
// a larger index is dropped, and the library is read afresh each run.
constexpr std::uintmax_t indexFileLimit = 128 * 1024 * 1024;

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

// Why the index file cannot be read, for the console.
std::string unusableIndexReason(const BoundedReadFailure& failure) {
    switch (failure.reason) {
        case BoundedReadFailure::Reason::notRegularFile: return "it is not a regular file";
        case BoundedReadFailure::Reason::tooLarge: return "it is larger than 128 MiB";
        case BoundedReadFailure::Reason::cannotOpen:
        case BoundedReadFailure::Reason::cannotRead: break;
    }
    return std::strerror(failure.errorNumber);
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

MusicLibrary::Entry MusicLibrary::playlistEntry(const ScannedFile& file) {
    Entry entry;
    entry.modified = file.modified;
    entry.size = file.size;
    entry.isPlaylist = true;
    auto bytes = readBoundedFile(file.path, playlistFileLimit, "MusicLibrary");
    entry.playlist = {.name = bytes ? readPlaylistText(bytes.value(), file.path).name : fileStem(file.path),
                      .file = file.path};
    return entry;
}

MusicLibrary::Entry MusicLibrary::trackEntry(const ScannedFile& file, std::optional<AudioTags> tags) {
    Entry entry;
    entry.modified = file.modified;
    entry.size = file.size;
    entry.track.file = file.path;
    if (tags) {
        entry.track.title = std::move(tags->title);
        entry.track.artist = std::move(tags->artist);
        entry.track.album = std::move(tags->album);
        entry.track.durationMilliseconds = tags->durationMilliseconds;
    }
    if (entry.track.title.empty()) {
        entry.track.title = fileStem(file.path);
    }
    entry.titleKey = lowercased(entry.track.title);
    entry.artistKey = lowercased(entry.track.artist);
    entry.albumKey = lowercased(entry.track.album);
    return entry;
}

std::optional<MusicLibrary::Entry> MusicLibrary::indexEntryOf(std::string_view line) {
    auto fields = escapedFieldsOf(line);
    const auto modified = fields.size() >= 4 ? integerOf(fields[2]) : std::nullopt;
    const auto size = fields.size() >= 4 ? integerOf(fields[3]) : std::nullopt;
    if (!modified || !size || *size < 0) {
        return std::nullopt;
    }
    Entry entry;
    entry.modified = *modified;
    entry.size = static_cast<std::uintmax_t>(*size);
    if (fields[0] == "p" && fields.size() == 5) {
        entry.isPlaylist = true;
        entry.playlist = {.name = system::repairUTF8(fields[4]), .file = std::move(fields[1])};
        return entry;
    }
    if (fields[0] != "t" || fields.size() != 8) {
        return std::nullopt;
    }
    const auto duration = integerOf(fields[7]);
    if (!fields[7].empty() && !duration) {
        return std::nullopt;
    }
    entry.track = {.file = std::move(fields[1]),
                   .title = system::repairUTF8(fields[4]),
                   .artist = system::repairUTF8(fields[5]),
                   .album = system::repairUTF8(fields[6]),
                   .durationMilliseconds = duration};
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
    auto bytes = readBoundedBytes(settings_.indexFile, indexFileLimit);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&bytes)) {
        if (failure->reason == BoundedReadFailure::Reason::cannotOpen && failure->errorNumber == ENOENT) {
            return;
        }
        dropIndex(unusableIndexReason(*failure));
        return;
    }
    const std::string_view text = std::get<std::string>(bytes);
    std::size_t lineStart = 0;
    // Each line ends in a line feed, the last included: an index cut short
    // is malformed.
    const auto nextLine = [&]() -> std::optional<std::string_view> {
        const auto newline = text.find('\n', lineStart);
        if (newline == std::string_view::npos) {
            return std::nullopt;
        }
        const auto line = text.substr(lineStart, newline - lineStart);
        lineStart = newline + 1;
        return line;
    };
    const auto header = nextLine();
    const auto folderLine = header ? nextLine() : std::nullopt;
    if (!folderLine || *header != indexHeader) {
        dropIndex("it is not a music library index");
        return;
    }
    if (escapedFieldsOf(*folderLine).front() != settings_.folder.string()) {
        // Another folder's index, from before the user chose this one.
        indexNeedsWriting_ = true;
        return;
    }
    std::map<std::string, Entry> loaded;
    for (std::size_t lineNumber = 3; lineStart < text.size(); ++lineNumber) {
        const auto line = nextLine();
        auto parsed = line ? indexEntryOf(*line) : std::nullopt;
        if (!parsed) {
            dropIndex("line " + std::to_string(lineNumber) + " is malformed");
            return;
        }
        auto path = parsed->isPlaylist ? parsed->playlist.file : parsed->track.file;
        loaded.insert_or_assign(std::move(path), std::move(*parsed));
    }
    entries_ = std::move(loaded);
}

void MusicLibrary::dropIndex(const std::string& reason) {
    entries_.clear();
    // Written at the next call even when nothing in the folder changed, so
    // a bad index does not stay in the way.
    indexNeedsWriting_ = true;
    console_("The music library index " + system::repairUTF8(settings_.indexFile.string()) + " cannot be used (" +
             reason + "): it is dropped and rebuilt from the music folder.");
}

void MusicLibrary::saveIndex() {
    indexNeedsWriting_ = false;
    if (settings_.indexFile.empty()) {
        return;
    }
    std::string text(indexHeader);
    text.push_back('\n');
    appendEscapedField(text, settings_.folder.string());
    text.push_back('\n');
    for (const auto& [path, entry] : entries_) {
        if (entry.provisional) {
            continue;
        }
        text.append(entry.isPlaylist ? "p\t" : "t\t");
        appendEscapedField(text, path);
        text.append("\t" + std::to_string(entry.modified) + "\t" + std::to_string(entry.size) + "\t");
        if (entry.isPlaylist) {
            appendEscapedField(text, entry.playlist.name);
        } else {
            appendEscapedField(text, entry.track.title);
            text.push_back('\t');
            appendEscapedField(text, entry.track.artist);
            text.push_back('\t');
            appendEscapedField(text, entry.track.album);
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

void MusicLibrary::readTags(const std::vector<const ScannedFile*>& files) {
    std::vector<std::filesystem::path> paths;
    paths.reserve(files.size());
    for (const auto* file : files) {
        paths.emplace_back(file->path);
    }
    auto readings = tags_->readEach(paths);
    if (readings.failure && !saidTagFailure_) {
        console_(readings.failure->description + ". The music files are listed by their file names until it can.");
    }
    saidTagFailure_ = readings.failure.has_value();
    for (std::size_t index = 0; index < files.size(); ++index) {
        const bool read = index < readings.tags.size();
        auto entry = trackEntry(*files[index], read ? std::move(readings.tags[index]) : std::nullopt);
        // Listed by name for now, and read again at the next call.
        entry.provisional = !read;
        entries_.insert_or_assign(files[index]->path, std::move(entry));
    }
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
        if (!entries_.empty() || indexNeedsWriting_) {
            entries_.clear();
            saveIndex();
        }
        return std::nullopt;
    }
    saidAbsent_ = false;
    bool changed = indexNeedsWriting_;
    std::unordered_set<std::string> present;
    present.reserve(scan.value().files.size());
    std::vector<const ScannedFile*> unread;
    for (const auto& found : scan.value().files) {
        present.insert(found.path);
        const auto known = entries_.find(found.path);
        if (known != entries_.end() && known->second.modified == found.modified && known->second.size == found.size &&
            known->second.isPlaylist == found.isPlaylist && !known->second.provisional) {
            continue;
        }
        if (found.isPlaylist) {
            entries_.insert_or_assign(found.path, playlistEntry(found));
        } else {
            unread.push_back(&found);
        }
        changed = true;
    }
    if (!unread.empty()) {
        readTags(unread);
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
