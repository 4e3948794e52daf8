#include "app/tools/music/music_tool_handler.hpp"

#include <algorithm>
#include <limits>

#include "app/tools/music/current_track_text.hpp"
#include "app/tools/music/library_playback.hpp"
#include "app/tools/tool_arguments.hpp"
#include "async/sleep_for.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

constexpr std::int64_t defaultPlaylistLimit = 25;
constexpr std::int64_t defaultSearchLimit = 10;
// Enough for every playlist a player could hand over.
constexpr std::int64_t everyPlaylist = std::numeric_limits<std::uint32_t>::max();

ToolError musicRefusal(std::int64_t code, std::string description) {
    return ToolError("MusicTool", code, std::move(description));
}

// The player's own description says what failed and what to set.
ToolError playerFailure(const platform::PlatformError& error) {
    return musicRefusal(500, error.description);
}

ToolError libraryFailure(const platform::PlatformError& error) {
    return musicRefusal(500, error.description);
}

std::string joinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        if (!text.empty()) {
            text.append(", ");
        }
        text.append(name);
    }
    return text;
}

}  // namespace

MusicToolHandler::MusicToolHandler(std::shared_ptr<platform::MusicPlayer> player,
                                   std::shared_ptr<platform::MusicLibrary> library,
                                   std::shared_ptr<platform::UrlOpener> opener,
                                   std::chrono::steady_clock::duration playlistPause)
    : player_(std::move(player)),
      library_(std::move(library)),
      opener_(std::move(opener)),
      playlistPause_(playlistPause) {}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (name == "music_play") {
        co_return co_await command(&platform::MusicPlayer::play);
    }
    if (name == "music_pause") {
        co_return co_await command(&platform::MusicPlayer::pause);
    }
    if (name == "music_next") {
        co_return co_await command(&platform::MusicPlayer::next);
    }
    if (name == "music_prev") {
        co_return co_await command(&platform::MusicPlayer::previous);
    }
    if (name == "music_set_volume") {
        co_return co_await setVolume(arguments);
    }
    if (name == "music_get_current_track") {
        co_return co_await currentTrack();
    }
    if (name == "music_get_library_stats") {
        co_return co_await libraryStats();
    }
    if (name == "music_list_playlists") {
        co_return co_await listPlaylists(arguments);
    }
    if (name == "music_search") {
        co_return co_await search(arguments);
    }
    if (name == "music_play_song") {
        co_return co_await playSong(arguments);
    }
    if (name == "music_play_playlist") {
        co_return co_await playPlaylist(arguments);
    }
    co_return musicRefusal(404, "Unknown music tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::command(
    std::optional<platform::PlatformError> (platform::MusicPlayer::*run)()) {
    auto work = [player = player_, run] { return ((*player).*run)(); };
    if (auto failure = co_await async::runBlocking(std::move(work))) {
        co_return playerFailure(*failure);
    }
    co_return std::string("Success");
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::setVolume(const PlainDictionary& arguments) {
    const auto level = integerArgument(arguments, "level");
    if (!level) {
        co_return musicRefusal(400, "Missing 'level' argument");
    }
    auto work = [player = player_, clamped = std::clamp<std::int64_t>(*level, 0, 100)] {
        return player->setVolume(clamped);
    };
    if (auto failure = co_await async::runBlocking(std::move(work))) {
        co_return playerFailure(*failure);
    }
    co_return std::string("Success");
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::currentTrack() {
    auto work = [player = player_] { return player->currentTrack(); };
    auto track = co_await async::runBlocking(std::move(work));
    if (!track) {
        co_return playerFailure(track.error());
    }
    co_return currentTrackText(track.value());
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::libraryStats() {
    struct Stats {
        platform::PlatformOutcome<platform::MusicLibrary::Counts> counts;
        platform::PlatformOutcome<std::vector<std::string>> playerPlaylists;
    };
    auto work = [player = player_, library = library_] {
        return Stats{library->counts(), playerPlaylistNames(*player, everyPlaylist)};
    };
    auto stats = co_await async::runBlocking(std::move(work));
    if (!stats.counts) {
        co_return libraryFailure(stats.counts.error());
    }
    if (!stats.playerPlaylists) {
        co_return playerFailure(stats.playerPlaylists.error());
    }
    const auto playlists = stats.counts.value().playlists + stats.playerPlaylists.value().size();
    co_return "Library: " + std::to_string(stats.counts.value().tracks) + " tracks, " + std::to_string(playlists) +
        " playlists.";
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::listPlaylists(const PlainDictionary& arguments) {
    const auto limit = integerArgument(arguments, "limit").value_or(defaultPlaylistLimit);
    struct Listed {
        platform::PlatformOutcome<std::vector<std::string>> playerPlaylists;
        platform::PlatformOutcome<std::vector<platform::LibraryPlaylist>> libraryPlaylists;
    };
    auto work = [player = player_, library = library_, limit] {
        return Listed{playerPlaylistNames(*player, limit), library->playlists()};
    };
    auto listed = co_await async::runBlocking(std::move(work));
    if (!listed.playerPlaylists) {
        co_return playerFailure(listed.playerPlaylists.error());
    }
    if (!listed.libraryPlaylists) {
        co_return libraryFailure(listed.libraryPlaylists.error());
    }
    auto names = std::move(listed.playerPlaylists).value();
    for (const auto& playlist : listed.libraryPlaylists.value()) {
        if (limit <= 0 || names.size() >= static_cast<std::uint64_t>(limit)) {
            break;
        }
        names.push_back(playlist.name);
    }
    co_return joinedNames(names);
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::search(const PlainDictionary& arguments) {
    auto query = textArgument(arguments, "query");
    if (!query) {
        co_return musicRefusal(400, "Missing 'query' argument");
    }
    const auto limit = integerArgument(arguments, "limit").value_or(defaultSearchLimit);
    auto work = [library = library_, query = std::move(*query), limit] {
        return library->search(query, limit <= 0 ? 0 : static_cast<std::size_t>(limit));
    };
    auto found = co_await async::runBlocking(std::move(work));
    if (!found) {
        co_return libraryFailure(found.error());
    }
    if (found.value().empty()) {
        co_return std::string("No songs found.");
    }
    co_return foundSongsText(found.value());
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::playSong(const PlainDictionary& arguments) {
    auto song = textArgument(arguments, "song");
    if (!song) {
        co_return musicRefusal(400, "Missing 'song' argument");
    }
    struct Attempt {
        std::optional<platform::LibraryTrack> track;
        std::optional<platform::PlatformError> failure;
    };
    auto work = [player = player_, library = library_, opener = opener_, song = *song] {
        auto found = library->search(song, 1);
        if (!found) {
            return Attempt{std::nullopt, found.error()};
        }
        if (found.value().empty()) {
            return Attempt{};
        }
        auto track = std::move(found.value().front());
        auto failure = playLibraryFile(*player, *opener, track.file, std::nullopt);
        return Attempt{std::move(track), std::move(failure)};
    };
    auto attempt = co_await async::runBlocking(std::move(work));
    if (attempt.failure) {
        co_return libraryFailure(*attempt.failure);
    }
    if (!attempt.track) {
        co_return "Song not found: " + *song;
    }
    co_await async::sleepFor(playlistPause_);
    co_return "Playing: " + attempt.track->title + " by " + attempt.track->artist;
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::playPlaylist(const PlainDictionary& arguments) {
    auto playlist = textArgument(arguments, "playlist");
    if (!playlist) {
        co_return musicRefusal(400, "Missing 'playlist' argument");
    }
    const bool shuffle = booleanArgument(arguments, "shuffle").value_or(false);
    // The player's own playlist of that name, else the library's.
    auto work = [player = player_, library = library_, opener = opener_, name = *playlist,
                 shuffle]() -> platform::PlatformOutcome<platform::PlaylistStart> {
        auto start = player->playPlaylist(name, shuffle);
        if (start && start.value() == platform::PlaylistStart::started) {
            return start;
        }
        if (!start && !isMissingPlayerOrPlaylists(start.error())) {
            return start;
        }
        auto files = library->playlists();
        if (!files) {
            return files.error();
        }
        for (const auto& file : files.value()) {
            if (file.name == name) {
                if (auto failure = playLibraryFile(*player, *opener, file.file, shuffle)) {
                    return *failure;
                }
                return platform::PlaylistStart::started;
            }
        }
        return platform::PlaylistStart::notFound;
    };
    auto start = co_await async::runBlocking(std::move(work));
    if (!start) {
        co_return playerFailure(start.error());
    }
    if (start.value() == platform::PlaylistStart::notFound) {
        co_return "Playlist not found: " + *playlist;
    }
    // The player has begun before the answer goes out; the wait is a timer,
    // so the main executor serves others meanwhile.
    co_await async::sleepFor(playlistPause_);
    co_return "Playing playlist: " + *playlist;
}

}  // namespace lumenary::app
