#include "app/tools/music/current_track_text.hpp"

namespace lumenary::app {

namespace {

std::string secondsLine(const char* label, const std::optional<std::int64_t>& microseconds) {
    return std::string(label) + (microseconds ? secondsText(*microseconds) + "s" : std::string("unknown"));
}

}  // namespace

std::string secondsText(std::int64_t microseconds) {
    const bool negative = microseconds < 0;
    // In unsigned arithmetic, so the most negative value has a magnitude.
    const std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(microseconds) + 1 : static_cast<std::uint64_t>(microseconds);
    const std::uint64_t milliseconds = magnitude / 1000 + (magnitude % 1000 >= 500 ? 1 : 0);
    std::string text = (negative && milliseconds > 0 ? "-" : "") + std::to_string(milliseconds / 1000);
    std::string fraction = std::to_string(milliseconds % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        text += "." + fraction;
    }
    return text;
}

std::string currentTrackText(const std::optional<platform::PlayingTrack>& track) {
    if (!track) {
        return "No track is currently playing.";
    }
    return "Playing: " + track->title + "\nArtist: " + track->artist + "\nAlbum: " + track->album + "\n" +
           secondsLine("Duration: ", track->durationMicroseconds) + "\n" +
           secondsLine("Position: ", track->positionMicroseconds) + "\nState: " + track->state;
}

}  // namespace lumenary::app
