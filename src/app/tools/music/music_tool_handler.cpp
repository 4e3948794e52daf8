#include "app/tools/music/music_tool_handler.hpp"

#include <algorithm>

#include "app/tools/music/current_track_text.hpp"
#include "app/tools/tool_arguments.hpp"
#include "async/sleep_for.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

constexpr std::int64_t defaultPlaylistLimit = 25;

ToolError musicRefusal(std::int64_t code, std::string description) {
    return ToolError("MusicTool", code, std::move(description));
}

// The player's own description says what failed and what to set.
ToolError playerFailure(const platform::PlatformError& error) {
    return musicRefusal(500, error.description);
}

// What the player cannot give at all: it shares no music library.
// `what` says what is missing: "Song search is not available".
ToolError notAvailable(const std::string& what) {
    return musicRefusal(500, what +
                                 ": music players offer playback, the current track and playlists over MPRIS, but no "
                                 "music library. Use music_list_playlists and music_play_playlist instead.");
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
                                   std::chrono::steady_clock::duration playlistPause)
    : player_(std::move(player)), playlistPause_(playlistPause) {}

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
        co_return notAvailable("Library statistics are not available");
    }
    if (name == "music_list_playlists") {
        co_return co_await listPlaylists(arguments);
    }
    if (name == "music_search") {
        if (!textArgument(arguments, "query")) {
            co_return musicRefusal(400, "Missing 'query' argument");
        }
        co_return notAvailable("Song search is not available");
    }
    if (name == "music_play_song") {
        if (!textArgument(arguments, "song")) {
            co_return musicRefusal(400, "Missing 'song' argument");
        }
        co_return notAvailable("Playing a song by search is not available");
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

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::listPlaylists(const PlainDictionary& arguments) {
    auto work = [player = player_, limit = integerArgument(arguments, "limit").value_or(defaultPlaylistLimit)] {
        return player->playlistNames(limit);
    };
    auto names = co_await async::runBlocking(std::move(work));
    if (!names) {
        co_return playerFailure(names.error());
    }
    co_return joinedNames(names.value());
}

asio::awaitable<ToolOutcome<std::string>> MusicToolHandler::playPlaylist(const PlainDictionary& arguments) {
    auto playlist = textArgument(arguments, "playlist");
    if (!playlist) {
        co_return musicRefusal(400, "Missing 'playlist' argument");
    }
    auto work = [player = player_, name = *playlist, shuffle = booleanArgument(arguments, "shuffle").value_or(false)] {
        return player->playPlaylist(name, shuffle);
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
