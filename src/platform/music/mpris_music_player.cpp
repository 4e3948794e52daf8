#include "platform/music/mpris_music_player.hpp"

#include <algorithm>
#include <limits>

#include "platform/music/mpris_connection.hpp"
#include "platform/music/mpris_player_properties.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

// One operation's connection and the player it talks to.
struct ChosenPlayer {
    MprisConnection connection;
    std::string busName;
    std::string label;
};

struct Playlist {
    std::string objectPath;
    std::string name;
};

PlatformError noPlayer(const std::optional<std::string>& named) {
    if (!named) {
        return musicPlayerError(MusicPlayerFailure::noPlayer, "No music player is running");
    }
    return musicPlayerError(MusicPlayerFailure::noPlayer,
                            "No music player is running as " + *named +
                                ", the player the defaults key musicPlayer names. Start it, or remove the key to use "
                                "any player.");
}

bool isNoPlayer(const PlatformError& error) {
    return error.domain == "MusicPlayer" && error.code == static_cast<std::int64_t>(MusicPlayerFailure::noPlayer);
}

// No player, or no bus to find one on: a file then goes elsewhere.
bool isNoPlayerOrBus(const PlatformError& error) {
    return isNoPlayer(error) ||
           (error.domain == "MusicPlayer" && error.code == static_cast<std::int64_t>(MusicPlayerFailure::noSessionBus));
}

std::optional<std::string> namedBusName(const MprisMusicPlayerSettings& settings) {
    if (!settings.preferredPlayer || settings.preferredPlayer->empty()) {
        return std::nullopt;
    }
    if (settings.preferredPlayer->starts_with(mprisBusNamePrefix)) {
        return settings.preferredPlayer;
    }
    return std::string(mprisBusNamePrefix) + *settings.preferredPlayer;
}

// The named player; else one that is playing; else the first by bus name.
PlatformOutcome<ChosenPlayer> choosePlayer(const MprisMusicPlayerSettings& settings) {
    auto opened = MprisConnection::open(settings.busAddress, settings.callTimeout);
    if (!opened) {
        return opened.error();
    }
    MprisConnection connection = std::move(opened).value();
    auto players = connection.playerBusNames();
    if (!players) {
        return players.error();
    }
    const auto& names = players.value();
    const auto named = namedBusName(settings);
    std::string chosen;
    if (named) {
        if (std::find(names.begin(), names.end(), *named) == names.end()) {
            return noPlayer(named);
        }
        chosen = *named;
    } else if (names.empty()) {
        return noPlayer(std::nullopt);
    } else if (names.size() == 1) {
        chosen = names.front();
    } else {
        const auto statuses = connection.playbackStatuses(names);
        const auto playing = std::find(statuses.begin(), statuses.end(), std::optional<std::string>("Playing"));
        chosen =
            playing == statuses.end() ? names.front() : names[static_cast<std::size_t>(playing - statuses.begin())];
    }
    return ChosenPlayer{std::move(connection), chosen, mprisPlayerLabel(chosen)};
}

PlatformError refused(const std::string& label, const std::string& doing, const std::string& reason) {
    return musicPlayerError(MusicPlayerFailure::refused,
                            "The music player " + label + " cannot " + doing + ": " + reason);
}

// Whether the player allows what its Can... property governs; a player
// that does not say is asked anyway and answers for itself.
std::optional<PlatformError> checkAbility(ChosenPlayer& player, const char* ability, const std::string& doing) {
    auto can = player.connection.property(player.busName, mprisPlayerInterface, ability);
    if (!can) {
        return can.error();
    }
    if (can.value() && booleanOf(can.value()->get()) == false) {
        return refused(player.label, doing + " now", "it reports " + std::string(ability) + " false");
    }
    return std::nullopt;
}

// The player's own order where it offers one, else the first it offers.
std::string playlistOrdering(GVariant* playlistProperties) {
    GVariantPointer orderings(lookedUpValue(playlistProperties, "Orderings"));
    if (!orderings || !g_variant_is_of_type(orderings.get(), G_VARIANT_TYPE_STRING_ARRAY) ||
        g_variant_n_children(orderings.get()) == 0) {
        return "UserDefined";
    }
    const gsize count = g_variant_n_children(orderings.get());
    for (gsize index = 0; index < count; ++index) {
        const char* ordering = nullptr;
        g_variant_get_child(orderings.get(), index, "&s", &ordering);
        if (std::string_view(ordering) == "UserDefined") {
            return ordering;
        }
    }
    const char* first = nullptr;
    g_variant_get_child(orderings.get(), 0, "&s", &first);
    return first;
}

// The first `maximum` playlists in the player's order.
PlatformOutcome<std::vector<Playlist>> playlists(ChosenPlayer& player, std::uint64_t maximum) {
    auto properties = player.connection.properties(player.busName, mprisPlaylistsInterface);
    if (!properties) {
        return properties.error();
    }
    if (!properties.value()) {
        return musicPlayerError(MusicPlayerFailure::noPlaylists,
                                "Playlists are not available for the music player " + player.label +
                                    ": it does not offer the MPRIS Playlists interface. " +
                                    std::string(mprisPlayerChoiceAdvice));
    }
    if (maximum == 0) {
        return std::vector<Playlist>();
    }
    const auto count = static_cast<guint32>(std::min<std::uint64_t>(maximum, std::numeric_limits<guint32>::max()));
    const std::string ordering = playlistOrdering(properties.value()->get());
    auto reply =
        player.connection.call(player.busName, mprisPlaylistsInterface, "GetPlaylists",
                               g_variant_new("(uusb)", 0U, count, ordering.c_str(), FALSE), G_VARIANT_TYPE("(a(oss))"));
    if (!reply) {
        return reply.error();
    }
    std::vector<Playlist> found;
    GVariantIter* items = nullptr;
    g_variant_get(reply.value().get(), "(a(oss))", &items);
    const char* path = nullptr;
    const char* name = nullptr;
    const char* icon = nullptr;
    // A player may hand back more than it was asked for.
    while (found.size() < count && g_variant_iter_next(items, "(&o&s&s)", &path, &name, &icon)) {
        found.push_back({path, system::repairUTF8(name)});
    }
    g_variant_iter_free(items);
    return found;
}

std::optional<PlatformError> setShuffle(ChosenPlayer& player, bool shuffle) {
    auto current = player.connection.property(player.busName, mprisPlayerInterface, "Shuffle");
    if (!current) {
        return current.error();
    }
    if (!current.value()) {
        if (!shuffle) {
            return std::nullopt;
        }
        return refused(player.label, "shuffle", "it has no Shuffle property");
    }
    if (booleanOf(current.value()->get()) == shuffle) {
        return std::nullopt;
    }
    return player.connection.setProperty(player.busName, mprisPlayerInterface, "Shuffle",
                                         g_variant_new_boolean(shuffle ? TRUE : FALSE));
}

// Whether the player lists "file" among the URI schemes it opens.
PlatformOutcome<bool> opensFiles(ChosenPlayer& player) {
    auto schemes = player.connection.property(player.busName, mprisRootInterface, "SupportedUriSchemes");
    if (!schemes) {
        return schemes.error();
    }
    if (!schemes.value() || !g_variant_is_of_type(schemes.value()->get(), G_VARIANT_TYPE_STRING_ARRAY)) {
        return false;
    }
    GVariant* list = schemes.value()->get();
    const gsize count = g_variant_n_children(list);
    for (gsize index = 0; index < count; ++index) {
        const char* scheme = nullptr;
        g_variant_get_child(list, index, "&s", &scheme);
        if (g_ascii_strcasecmp(scheme, "file") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

MprisMusicPlayer::MprisMusicPlayer(MprisMusicPlayerSettings settings) : settings_(std::move(settings)) {}

std::optional<PlatformError> MprisMusicPlayer::command(const char* method, const char* ability,
                                                       const std::string& doing) {
    auto chosen = choosePlayer(settings_);
    if (!chosen) {
        return chosen.error();
    }
    auto& player = chosen.value();
    if (auto refusal = checkAbility(player, ability, doing)) {
        return refusal;
    }
    auto reply = player.connection.call(player.busName, mprisPlayerInterface, method, nullptr, nullptr);
    if (!reply) {
        return reply.error();
    }
    return std::nullopt;
}

std::optional<PlatformError> MprisMusicPlayer::play() {
    return command("Play", "CanPlay", "play");
}
std::optional<PlatformError> MprisMusicPlayer::pause() {
    return command("Pause", "CanPause", "pause");
}
std::optional<PlatformError> MprisMusicPlayer::next() {
    return command("Next", "CanGoNext", "skip to the next track");
}
std::optional<PlatformError> MprisMusicPlayer::previous() {
    return command("Previous", "CanGoPrevious", "go back to the previous track");
}

std::optional<PlatformError> MprisMusicPlayer::setVolume(std::int64_t level) {
    auto chosen = choosePlayer(settings_);
    if (!chosen) {
        return chosen.error();
    }
    auto& player = chosen.value();
    if (auto refusal = checkAbility(player, "CanControl", "set the volume")) {
        return refusal;
    }
    return player.connection.setProperty(player.busName, mprisPlayerInterface, "Volume",
                                         g_variant_new_double(static_cast<double>(level) / 100.0));
}

PlatformOutcome<std::optional<PlayingTrack>> MprisMusicPlayer::currentTrack() {
    auto chosen = choosePlayer(settings_);
    if (!chosen) {
        if (isNoPlayer(chosen.error())) {
            return std::optional<PlayingTrack>();
        }
        return chosen.error();
    }
    auto& player = chosen.value();
    auto properties = player.connection.properties(player.busName, mprisPlayerInterface);
    if (!properties) {
        return properties.error();
    }
    if (!properties.value()) {
        return musicPlayerError(MusicPlayerFailure::callFailed, "Music player error: " + player.label +
                                                                    " does not offer the MPRIS Player interface. " +
                                                                    std::string(mprisPlayerChoiceAdvice));
    }
    return playingTrackOf(properties.value()->get(), player.label);
}

PlatformOutcome<std::vector<std::string>> MprisMusicPlayer::playlistNames(std::int64_t limit) {
    auto chosen = choosePlayer(settings_);
    if (!chosen) {
        return chosen.error();
    }
    auto found = playlists(chosen.value(), limit <= 0 ? 0 : static_cast<std::uint64_t>(limit));
    if (!found) {
        return found.error();
    }
    std::vector<std::string> names;
    names.reserve(found.value().size());
    for (auto& playlist : found.value()) {
        names.push_back(std::move(playlist.name));
    }
    return names;
}

PlatformOutcome<PlaylistStart> MprisMusicPlayer::playPlaylist(const std::string& name, bool shuffle) {
    auto chosen = choosePlayer(settings_);
    if (!chosen) {
        return chosen.error();
    }
    auto& player = chosen.value();
    auto found = playlists(player, std::numeric_limits<std::uint64_t>::max());
    if (!found) {
        return found.error();
    }
    const auto playlist = std::find_if(found.value().begin(), found.value().end(),
                                       [&name](const Playlist& candidate) { return candidate.name == name; });
    if (playlist == found.value().end()) {
        return PlaylistStart::notFound;
    }
    if (auto failure = setShuffle(player, shuffle)) {
        return *failure;
    }
    auto reply = player.connection.call(player.busName, mprisPlaylistsInterface, "ActivatePlaylist",
                                        g_variant_new("(o)", playlist->objectPath.c_str()), nullptr);
    if (!reply) {
        return reply.error();
    }
    return PlaylistStart::started;
}

PlatformOutcome<UriStart> MprisMusicPlayer::openUri(const std::string& uri, std::optional<bool> shuffle) {
    auto chosen = choosePlayer(settings_);
    if (!chosen) {
        if (isNoPlayerOrBus(chosen.error())) {
            return UriStart::notOffered;
        }
        return chosen.error();
    }
    auto& player = chosen.value();
    auto files = opensFiles(player);
    if (!files) {
        return files.error();
    }
    if (!files.value()) {
        return UriStart::notOffered;
    }
    auto can = player.connection.property(player.busName, mprisPlayerInterface, "CanPlay");
    if (!can) {
        return can.error();
    }
    if (can.value() && booleanOf(can.value()->get()) == false) {
        return UriStart::notOffered;
    }
    auto reply = player.connection.callIfSupported(player.busName, mprisPlayerInterface, "OpenUri",
                                                   g_variant_new("(s)", uri.c_str()), nullptr);
    if (!reply) {
        return reply.error();
    }
    if (!reply.value()) {
        return UriStart::notOffered;
    }
    // Only now: a file the player did not take goes to another program,
    // and this player's shuffle is none of its business.
    if (shuffle) {
        auto current = player.connection.property(player.busName, mprisPlayerInterface, "Shuffle");
        if (!current) {
            return current.error();
        }
        if (current.value() && booleanOf(current.value()->get()) != *shuffle) {
            if (auto failure = player.connection.setProperty(player.busName, mprisPlayerInterface, "Shuffle",
                                                             g_variant_new_boolean(*shuffle ? TRUE : FALSE))) {
                return *failure;
            }
        }
    }
    return UriStart::started;
}

std::shared_ptr<MusicPlayer> makeMprisMusicPlayer(const DefaultsStore& defaults) {
    MprisMusicPlayerSettings settings;
    if (const auto value = defaults.object("musicPlayer"); value && value->stringValue() != nullptr) {
        settings.preferredPlayer = *value->stringValue();
    }
    return std::make_shared<MprisMusicPlayer>(std::move(settings));
}

}  // namespace lumenary::platform
