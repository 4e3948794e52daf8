#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/defaults/defaults_store.hpp"
#include "platform/music/music_player.hpp"

namespace lumenary::platform {

struct MprisMusicPlayerSettings {
    // The bus to find players on; absent: the session bus of the
    // environment, looked up on every call.
    std::optional<std::string> busAddress;
    // The player to use, as "vlc" or "org.mpris.MediaPlayer2.vlc"; absent:
    // a player that is playing, else the first by bus name.
    std::optional<std::string> preferredPlayer;
    // How long each call waits for the player.
    std::chrono::milliseconds callTimeout{5'000};
};

// The desktop's music player through MPRIS 2 on the session bus. Every call
// opens its own connection, chooses the player afresh and closes the
// connection again, so players that come and go and a bus that restarts
// need nothing from the caller. Playlists need the player's Playlists
// interface; opening files needs "file" among its SupportedUriSchemes.
class MprisMusicPlayer final : public MusicPlayer {
public:
    explicit MprisMusicPlayer(MprisMusicPlayerSettings settings);

    std::optional<PlatformError> play() override;
    std::optional<PlatformError> pause() override;
    std::optional<PlatformError> next() override;
    std::optional<PlatformError> previous() override;
    std::optional<PlatformError> setVolume(std::int64_t level) override;
    PlatformOutcome<std::optional<PlayingTrack>> currentTrack() override;
    PlatformOutcome<std::vector<std::string>> playlistNames(std::int64_t limit) override;
    PlatformOutcome<PlaylistStart> playPlaylist(const std::string& name, bool shuffle) override;
    PlatformOutcome<UriStart> openUri(const std::string& uri, std::optional<bool> shuffle) override;

private:
    std::optional<PlatformError> command(const char* method, const char* ability, const std::string& doing);

    MprisMusicPlayerSettings settings_;
};

// The player the defaults key musicPlayer names (a text), on the session bus.
std::shared_ptr<MusicPlayer> makeMprisMusicPlayer(const DefaultsStore& defaults);

}  // namespace lumenary::platform
