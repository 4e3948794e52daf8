#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/music/music_player.hpp"

namespace lumenary::app {

// Microseconds as seconds with at most three decimals, rounded to the
// millisecond: "215", "215.5", "0.001".
std::string secondsText(std::int64_t microseconds);

// The answer of music_get_current_track: "No track is currently playing."
// without a track, else six lines (Playing, Artist, Album, Duration,
// Position, State). A duration or position the player did not give reads
// "unknown".
std::string currentTrackText(const std::optional<platform::PlayingTrack>& track);

}  // namespace lumenary::app
