#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gio/gio.h>

#include "platform/music/gio_handles.hpp"
#include "platform/platform_error.hpp"

namespace lumenary::platform {

// The bus-name prefix every MPRIS player owns a name under.
inline constexpr std::string_view mprisBusNamePrefix = "org.mpris.MediaPlayer2.";
inline constexpr const char* mprisObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* mprisRootInterface = "org.mpris.MediaPlayer2";
inline constexpr const char* mprisPlayerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr const char* mprisPlaylistsInterface = "org.mpris.MediaPlayer2.Playlists";

// What a user does when a player fails: the defaults key that chooses
// another.
inline constexpr std::string_view mprisPlayerChoiceAdvice =
    "Set the defaults key musicPlayer to the player to use (vlc for org.mpris.MediaPlayer2.vlc).";

// "vlc" for "org.mpris.MediaPlayer2.vlc": what users call a player and
// write under the defaults key musicPlayer.
std::string mprisPlayerLabel(std::string_view busName);

// One connection to the session bus for one music-player operation, closed
// when it goes, and the calls the player layer makes over it. Blocking:
// every call waits for the player at most `callTimeout`. Errors (domain
// "MusicPlayer") name the player and the member that failed and tell the
// user what to set.
class MprisConnection {
public:
    // `busAddress` absent: the session bus of the environment.
    static PlatformOutcome<MprisConnection> open(const std::optional<std::string>& busAddress,
                                                 std::chrono::milliseconds callTimeout);

    MprisConnection(MprisConnection&& other) noexcept;
    MprisConnection& operator=(MprisConnection&&) = delete;
    ~MprisConnection();

    // The bus names of the players on the bus, sorted.
    PlatformOutcome<std::vector<std::string>> playerBusNames();
    // The PlaybackStatus of each player, asked of all at once so one that
    // hangs costs one timeout, not one each; absent where a player failed.
    std::vector<std::optional<std::string>> playbackStatuses(const std::vector<std::string>& busNames);

    // All properties of one of the player's interfaces (a{sv}); absent when
    // the player does not offer that interface.
    PlatformOutcome<std::optional<GVariantPointer>> properties(const std::string& busName, const char* interface);
    // One property's value; absent when the player does not have it.
    PlatformOutcome<std::optional<GVariantPointer>> property(const std::string& busName, const char* interface,
                                                             const char* name);
    // Takes the floating `value`.
    std::optional<PlatformError> setProperty(const std::string& busName, const char* interface, const char* name,
                                             GVariant* value);
    // Takes the floating `parameters` (may be null); `replyType` null
    // accepts any reply.
    PlatformOutcome<GVariantPointer> call(const std::string& busName, const char* interface, const char* method,
                                          GVariant* parameters, const GVariantType* replyType);
    // The same for a method a player may lack: absent when the player
    // answers that it has no such method (UnknownMethod) or does not support
    // it (NotSupported).
    PlatformOutcome<std::optional<GVariantPointer>> callIfSupported(const std::string& busName, const char* interface,
                                                                    const char* method, GVariant* parameters,
                                                                    const GVariantType* replyType);

private:
    MprisConnection(GDBusConnection* connection, std::chrono::milliseconds callTimeout);

    GVariant* callSync(const std::string& busName, const char* objectPath, const char* interface, const char* method,
                       GVariant* parameters, const GVariantType* replyType, GError** error);
    PlatformError callFailure(const std::string& busName, const std::string& member, const GError* error) const;

    GDBusConnection* connection_;
    std::chrono::milliseconds callTimeout_;
};

}  // namespace lumenary::platform
