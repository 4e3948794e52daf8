#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/music/music_library.hpp"
#include "platform/music/music_player.hpp"

namespace lumenary::app {

// The music category: playback, volume, the current track and playlists of
// the desktop's music player, and the user's music library (the music
// folder's audio and playlist files). A song or a playlist file plays on the
// player through MPRIS OpenUri where the player takes files, else through
// the URL opener (the user's default audio player). Playlists are the
// player's own, where it offers them, followed by the library's. Player and
// library failures are "MusicTool" 500 with their own description; every
// player, library and opener call runs on the worker pool.
class MusicToolHandler final : public ToolCategory {
public:
    // How long play-song and play-playlist wait after starting, so the
    // player has begun before the answer goes out.
    static constexpr std::chrono::milliseconds playlistStartPause{500};

    MusicToolHandler(std::shared_ptr<platform::MusicPlayer> player, std::shared_ptr<platform::MusicLibrary> library,
                     std::shared_ptr<platform::UrlOpener> opener,
                     std::chrono::steady_clock::duration playlistPause = playlistStartPause);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> command(
        std::optional<platform::PlatformError> (platform::MusicPlayer::*run)());
    asio::awaitable<ToolOutcome<std::string>> setVolume(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> currentTrack();
    asio::awaitable<ToolOutcome<std::string>> libraryStats();
    asio::awaitable<ToolOutcome<std::string>> listPlaylists(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> search(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> playSong(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> playPlaylist(const PlainDictionary& arguments);

    std::shared_ptr<platform::MusicPlayer> player_;
    std::shared_ptr<platform::MusicLibrary> library_;
    std::shared_ptr<platform::UrlOpener> opener_;
    std::chrono::steady_clock::duration playlistPause_;
};

}  // namespace lumenary::app
