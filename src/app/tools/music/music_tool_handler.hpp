#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "platform/music/music_player.hpp"

namespace lumenary::app {

// The music category: playback, volume, the current track and playlists of
// the desktop's music player. The player offers no library, so library
// statistics, song search and playing a song by search answer that they are
// not available. Player failures are "MusicTool" 500 with the player's own
// description; every player call runs on the worker pool.
class MusicToolHandler final : public ToolCategory {
public:
    // How long play-playlist waits after starting a playlist, so the
    // player has begun before the answer goes out.
    static constexpr std::chrono::milliseconds playlistStartPause{500};

    explicit MusicToolHandler(std::shared_ptr<platform::MusicPlayer> player,
                              std::chrono::steady_clock::duration playlistPause = playlistStartPause);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> command(
        std::optional<platform::PlatformError> (platform::MusicPlayer::*run)());
    asio::awaitable<ToolOutcome<std::string>> setVolume(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> currentTrack();
    asio::awaitable<ToolOutcome<std::string>> listPlaylists(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> playPlaylist(const PlainDictionary& arguments);

    std::shared_ptr<platform::MusicPlayer> player_;
    std::chrono::steady_clock::duration playlistPause_;
};

}  // namespace lumenary::app
