#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/music/audio_tag_reader.hpp"
#include "platform/music/music_folder_scan.hpp"
#include "platform/platform_error.hpp"

namespace lumenary::platform {

// One audio file of the library.
struct LibraryTrack {
    std::string file;
    // The tag's title, else the file name without its extension.
    std::string title;
    std::string artist;
    std::string album;
    std::optional<std::int64_t> durationMilliseconds;
};

// One playlist file of the library.
struct LibraryPlaylist {
    std::string name;
    std::string file;
};

struct MusicLibrarySettings {
    std::filesystem::path folder;
    // Where the index survives between runs; empty: kept in memory only.
    std::filesystem::path indexFile;
};

// The user's music folder as a library: its audio files at any depth with
// their tags, and its playlist files. Hidden entries are skipped; symbolic
// links are followed, each real folder once. Every call looks at the
// folder again and reads only the files whose modification time or size
// changed, so a changed file is seen at the next call; the index lives in
// memory and in `indexFile`, so a new run starts from it as well. Blocking:
// callers run it on the worker pool; calls from several threads take turns.
//
// A file whose tags cannot be read is listed by its file name, and saved so:
// one that crashed the tag reader is not read again while its size and
// modification time stay. Files the tag reader could not get to at all (it
// would not start) are listed by name too, but read again at the next call.
// The index is read only when it is a regular file of at most 128 MiB; one
// that is not, or is malformed, is dropped and rebuilt, said on the console.
//
// A folder that does not exist is an empty library, said once on the
// console; one that cannot be read is an error (domain "MusicLibrary")
// naming the folder and the settings that choose it.
class MusicLibrary {
public:
    struct Counts {
        std::size_t tracks = 0;
        std::size_t playlists = 0;
    };

    MusicLibrary(MusicLibrarySettings settings, std::shared_ptr<AudioTagReader> tags,
                 std::function<void(const std::string&)> console);

    PlatformOutcome<Counts> counts();
    // The first `limit` tracks, in path order, whose title, artist or album
    // holds `query`, ignoring case.
    PlatformOutcome<std::vector<LibraryTrack>> search(std::string_view query, std::size_t limit);
    // Every playlist file, in path order.
    PlatformOutcome<std::vector<LibraryPlaylist>> playlists();

    const std::filesystem::path& folder() const { return settings_.folder; }

private:
    struct Entry {
        std::int64_t modified = 0;
        std::uintmax_t size = 0;
        bool isPlaylist = false;
        // Listed by its file name because its tags could not be read yet
        // (the tag reader failed): read again at the next call, never saved.
        bool provisional = false;
        LibraryTrack track;
        LibraryPlaylist playlist;
        // The lower-cased title, artist and album, for search.
        std::string titleKey;
        std::string artistKey;
        std::string albumKey;
    };

    std::optional<PlatformError> refresh();
    void loadIndex();
    void dropIndex(const std::string& reason);
    void saveIndex();
    void readTags(const std::vector<const ScannedFile*>& files);
    static std::optional<Entry> indexEntryOf(std::string_view line);
    static Entry playlistEntry(const ScannedFile& file);
    static Entry trackEntry(const ScannedFile& file, std::optional<AudioTags> tags);

    MusicLibrarySettings settings_;
    std::shared_ptr<AudioTagReader> tags_;
    std::function<void(const std::string&)> console_;
    std::mutex mutex_;
    bool loaded_ = false;
    bool saidAbsent_ = false;
    bool saidTagFailure_ = false;
    bool indexNeedsWriting_ = false;
    std::map<std::string, Entry> entries_;
};

}  // namespace lumenary::platform
