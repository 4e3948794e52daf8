#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// What the player reports about the track it is playing or has paused.
// Every text is UTF-8; a field the player does not report is empty.
struct PlayingTrack {
    std::string title;
    // Several artists joined by ", ".
    std::string artist;
    std::string album;
    // Absent when the player does not know it (a stream, a wrong type).
    std::optional<std::int64_t> durationMicroseconds;
    std::optional<std::int64_t> positionMicroseconds;
    // The player's playback status in lower case: "playing", "paused".
    std::string state;

    friend bool operator==(const PlayingTrack&, const PlayingTrack&) = default;
};

// How asking to play a playlist by name ended, when the player answered.
enum class PlaylistStart { started, notFound };

// How asking the player to open a file ended, when nothing failed.
enum class UriStart { started, notOffered };

// The error codes of the domain "MusicPlayer"; the descriptions are for
// the user.
enum class MusicPlayerFailure : std::int64_t {
    // No player is on the bus, or not the one the user named.
    noPlayer = 1,
    // The player says it cannot do this now (CanPlay and its siblings).
    refused = 2,
    // The player does not offer playlists.
    noPlaylists = 3,
    // The bus or the player failed the call, left, or did not answer in time.
    callFailed = 4,
    // There is no session bus to find players on: none is named, or none
    // answers where one is.
    noSessionBus = 5,
};

// One music player of the desktop, chosen afresh on every call. Every
// member blocks on the player (bounded by a deadline), so callers run them
// on the worker pool; an implementation is safe to call from several
// threads at once.
class MusicPlayer {
public:
    virtual ~MusicPlayer() = default;

    virtual std::optional<PlatformError> play() = 0;
    virtual std::optional<PlatformError> pause() = 0;
    virtual std::optional<PlatformError> next() = 0;
    virtual std::optional<PlatformError> previous() = 0;
    // `level` from 0 to 100.
    virtual std::optional<PlatformError> setVolume(std::int64_t level) = 0;

    // Absent when no player runs or the player is stopped.
    virtual PlatformOutcome<std::optional<PlayingTrack>> currentTrack() = 0;

    // The first `limit` playlist names in the player's own order (none for
    // a `limit` of 0 or less).
    virtual PlatformOutcome<std::vector<std::string>> playlistNames(std::int64_t limit) = 0;
    // Starts the playlist named exactly `name` after setting shuffle as
    // asked; nothing changes when there is none.
    virtual PlatformOutcome<PlaylistStart> playPlaylist(const std::string& name, bool shuffle) = 0;

    // Opens `uri` (a file: URI) in the player, which plays it, and once the
    // player has taken it sets shuffle as asked where the player has a
    // Shuffle property (absent: leaves it). notOffered when no player runs
    // (or no session bus), or the player takes no file: URIs, reports
    // CanPlay false, or has no OpenUri or refuses it as not supported: the
    // caller opens the file some other way, and the player is left as it
    // was.
    virtual PlatformOutcome<UriStart> openUri(const std::string& uri, std::optional<bool> shuffle) = 0;
};

// The error a MusicPlayer gives with that code.
inline PlatformError musicPlayerError(MusicPlayerFailure failure, std::string description) {
    return {"MusicPlayer", static_cast<std::int64_t>(failure), std::move(description)};
}

}  // namespace lumenary::platform
