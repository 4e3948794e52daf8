#pragma once

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/music/music_player.hpp"

namespace lumenary::testing {

// A music player in memory. It records every call as a line ("play",
// "setVolume 42", "playPlaylist Road Trip shuffle", "openUri file:///a.mp3")
// and answers from what the test set: a failure for every call, the current
// track, the playlists, whether it opens files.
class RecordingMusicPlayer final : public platform::MusicPlayer {
public:
    std::optional<platform::PlatformError> play() override { return command("play"); }
    std::optional<platform::PlatformError> pause() override { return command("pause"); }
    std::optional<platform::PlatformError> next() override { return command("next"); }
    std::optional<platform::PlatformError> previous() override { return command("previous"); }
    std::optional<platform::PlatformError> setVolume(std::int64_t level) override {
        return command("setVolume " + std::to_string(level));
    }

    platform::PlatformOutcome<std::optional<platform::PlayingTrack>> currentTrack() override {
        std::lock_guard lock(mutex_);
        calls_.push_back("currentTrack");
        if (failure_) {
            return *failure_;
        }
        return track_;
    }

    platform::PlatformOutcome<std::vector<std::string>> playlistNames(std::int64_t limit) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("playlistNames " + std::to_string(limit));
        if (failure_) {
            return *failure_;
        }
        const auto count = std::min<std::size_t>(playlists_.size(), limit < 0 ? 0 : static_cast<std::size_t>(limit));
        return std::vector<std::string>(playlists_.begin(), playlists_.begin() + static_cast<std::ptrdiff_t>(count));
    }

    platform::PlatformOutcome<platform::PlaylistStart> playPlaylist(const std::string& name, bool shuffle) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("playPlaylist " + name + (shuffle ? " shuffle" : ""));
        if (failure_) {
            return *failure_;
        }
        const bool found = std::find(playlists_.begin(), playlists_.end(), name) != playlists_.end();
        return found ? platform::PlaylistStart::started : platform::PlaylistStart::notFound;
    }

    platform::PlatformOutcome<platform::UriStart> openUri(const std::string& uri,
                                                          std::optional<bool> shuffle) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("openUri " + uri + (shuffle ? (*shuffle ? " shuffle" : " in order") : ""));
        if (failure_) {
            return *failure_;
        }
        return opensUris_ ? platform::UriStart::started : platform::UriStart::notOffered;
    }

    void failEveryCall(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(error);
    }
    void setTrack(std::optional<platform::PlayingTrack> track) {
        std::lock_guard lock(mutex_);
        track_ = std::move(track);
    }
    void setPlaylists(std::vector<std::string> playlists) {
        std::lock_guard lock(mutex_);
        playlists_ = std::move(playlists);
    }
    void setOpensUris(bool opens) {
        std::lock_guard lock(mutex_);
        opensUris_ = opens;
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    std::optional<platform::PlatformError> command(std::string line) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(line));
        return failure_;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::optional<platform::PlatformError> failure_;
    std::optional<platform::PlayingTrack> track_;
    std::vector<std::string> playlists_;
    bool opensUris_ = true;
};

}  // namespace lumenary::testing
