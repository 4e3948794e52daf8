#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/applications/url_opener.hpp"
#include "platform/music/music_library.hpp"
#include "platform/music/music_player.hpp"

namespace lumenary::app {

// Blocking steps the music category shares between its library tools; each
// runs on the worker pool.

// Whether a player's failure only says that no player runs (or there is no
// session bus to find one on) or that it offers no playlists: the library's
// tracks and playlist files still answer.
bool isMissingPlayerOrPlaylists(const platform::PlatformError& error);

// The player's playlist names (at most `limit`), none when no player runs or
// it offers no playlists; other player failures are errors.
platform::PlatformOutcome<std::vector<std::string>> playerPlaylistNames(platform::MusicPlayer& player,
                                                                        std::int64_t limit);

// Plays the library file `file` on the player through OpenUri where it takes
// files, else hands it to the URL opener; nothing when it started.
std::optional<platform::PlatformError> playLibraryFile(platform::MusicPlayer& player, platform::UrlOpener& opener,
                                                       const std::string& file, std::optional<bool> shuffle);

// "Title - Artist (Album)" lines joined by line feeds.
std::string foundSongsText(const std::vector<platform::LibraryTrack>& tracks);

}  // namespace lumenary::app
