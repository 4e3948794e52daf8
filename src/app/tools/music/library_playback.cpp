#include "app/tools/music/library_playback.hpp"

#include "platform/music/file_uri.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

bool isMissingPlayerOrPlaylists(const platform::PlatformError& error) {
    using platform::MusicPlayerFailure;
    return error.domain == "MusicPlayer" && (error.code == static_cast<std::int64_t>(MusicPlayerFailure::noPlayer) ||
                                             error.code == static_cast<std::int64_t>(MusicPlayerFailure::noPlaylists) ||
                                             error.code == static_cast<std::int64_t>(MusicPlayerFailure::noSessionBus));
}

platform::PlatformOutcome<std::vector<std::string>> playerPlaylistNames(platform::MusicPlayer& player,
                                                                        std::int64_t limit) {
    auto names = player.playlistNames(limit);
    if (!names && isMissingPlayerOrPlaylists(names.error())) {
        return std::vector<std::string>();
    }
    return names;
}

std::optional<platform::PlatformError> playLibraryFile(platform::MusicPlayer& player, platform::UrlOpener& opener,
                                                       const std::string& file, std::optional<bool> shuffle) {
    const std::string uri = platform::fileUri(file);
    auto started = player.openUri(uri, shuffle);
    if (!started) {
        return started.error();
    }
    if (started.value() == platform::UriStart::started) {
        return std::nullopt;
    }
    if (auto failure = opener.open(uri)) {
        return platform::PlatformError{failure->domain, failure->code,
                                       "Could not open " + system::repairUTF8(file) + ": " + failure->description};
    }
    return std::nullopt;
}

std::string foundSongsText(const std::vector<platform::LibraryTrack>& tracks) {
    std::string text;
    for (const auto& track : tracks) {
        if (!text.empty()) {
            text.push_back('\n');
        }
        text += track.title + " - " + track.artist + " (" + track.album + ")";
    }
    return text;
}

}  // namespace lumenary::app
