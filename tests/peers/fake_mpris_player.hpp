#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gio/gio.h>

namespace lumenary::testing {

// What the fake player reports and offers; the test sets it, before the
// player starts or while it runs.
struct FakePlayerState {
    std::string playbackStatus = "Paused";
    // GVariant text of an a{sv}, so a test can give any type, right or wrong.
    std::string metadata = "@a{sv} {}";
    // Absent: the player leaves Position out.
    std::optional<std::int64_t> position = 0;
    bool canPlay = true;
    bool canPause = true;
    bool canGoNext = true;
    bool canGoPrevious = true;
    bool canControl = true;
    double volume = 1.0;
    bool shuffle = false;
    std::vector<std::string> playlists;
    std::vector<std::string> orderings{"Alphabetical", "UserDefined"};
};

// What the fake player is, fixed when it starts.
struct FakePlayerShape {
    // Owned as org.mpris.MediaPlayer2.<name>.
    std::string name;
    bool offersPlaylists = true;
    bool hasShuffle = true;
    // Lists "file" among its SupportedUriSchemes and takes OpenUri.
    bool opensFiles = false;
    // Has the OpenUri method at all; without it the bus answers UnknownMethod.
    bool hasOpenUri = true;
    // The D-Bus error OpenUri answers with ("the fake player refuses
    // OpenUri"), instead of taking the file.
    std::optional<std::string> openUriError;
    // Holds every call without an answer.
    bool neverAnswers = false;
    // Leaves the bus when this method of the Player interface is called,
    // without answering it.
    std::optional<std::string> leavesOn;
};

// An MPRIS 2 player of our own on a bus, served by GDBus on a thread of its
// own: MediaPlayer2, Player and, when its shape says so, Playlists. It
// records every call it receives ("Player.Play", "Get Player.CanPlay",
// "Set Player.Volume 0.42", "GetAll Player", "Playlists.GetPlaylists 0 25
// UserDefined", "Playlists.ActivatePlaylist /playlist/3", "Player.OpenUri
// file:///a.flac"); playlist i of the
// state has the object path /playlist/i.
class FakeMprisPlayer {
public:
    FakeMprisPlayer(const std::string& busAddress, FakePlayerShape shape, FakePlayerState state = {});
    ~FakeMprisPlayer();

    FakeMprisPlayer(const FakeMprisPlayer&) = delete;
    FakeMprisPlayer& operator=(const FakeMprisPlayer&) = delete;

    void setState(FakePlayerState state);
    std::vector<std::string> calls() const;
    // Gives up the bus name and the connection.
    void leave();

private:
    static void methodCall(GDBusConnection* connection, const char* sender, const char* objectPath,
                           const char* interface, const char* method, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
    void answer(const std::string& interface, const std::string& method, GVariant* parameters,
                GDBusMethodInvocation* invocation);
    GVariant* propertyValue(const std::string& interface, const std::string& name);
    GVariant* allProperties(const std::string& interface);

    FakePlayerShape shape_;
    mutable std::mutex mutex_;
    FakePlayerState state_;
    std::vector<std::string> calls_;
    std::vector<GDBusMethodInvocation*> held_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    std::vector<unsigned> registrations_;
    std::thread thread_;
};

}  // namespace lumenary::testing
