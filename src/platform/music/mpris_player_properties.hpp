#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <gio/gio.h>

#include "platform/music/music_player.hpp"

namespace lumenary::platform {

// Readings of what players put in their properties, forgiving of the types
// players get wrong: a text given as a list of texts or as bytes, a number
// of any width or as a double. Every text comes out as valid UTF-8.

// The value under `key` of an a{sv} dictionary (null-safe); null when absent.
GVariant* lookedUpValue(GVariant* dictionary, const char* key);

// A text, a list of texts joined by ", ", or bytes; absent for anything else.
std::optional<std::string> textOf(GVariant* value);
// Any integer type, or a finite double rounded; absent for anything else.
std::optional<std::int64_t> integerOf(GVariant* value);
std::optional<bool> booleanOf(GVariant* value);

// The track of the Player interface's properties (a{sv}): Metadata's
// xesam:title, xesam:artist, xesam:album and mpris:length, Position and
// PlaybackStatus. Absent when the player is stopped; an error when it does
// not say whether it plays.
PlatformOutcome<std::optional<PlayingTrack>> playingTrackOf(GVariant* playerProperties, const std::string& player);

}  // namespace lumenary::platform
