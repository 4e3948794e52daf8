#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "peers/fake_mpris_player.hpp"
#include "platform/music/mpris_music_player.hpp"
#include "support/private_session_bus.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

using lumenary::testing::FakeMprisPlayer;
using lumenary::testing::FakePlayerShape;
using lumenary::testing::FakePlayerState;
using lumenary::testing::PrivateSessionBus;
using Calls = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string advice =
    " Set the defaults key musicPlayer to the player to use (vlc for org.mpris.MediaPlayer2.vlc).";

FakePlayerShape named(std::string name) {
    FakePlayerShape shape;
    shape.name = std::move(name);
    return shape;
}

std::string described(const std::optional<PlatformError>& error) {
    return error ? error->domain + " " + std::to_string(error->code) + " " + error->description : "none";
}

template <typename T>
std::string described(const PlatformOutcome<T>& outcome) {
    return outcome ? "value" : described(std::optional<PlatformError>(outcome.error()));
}

// Fake players on a bus of the test's own, and the player layer over it.
class MprisMusicPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = PrivateSessionBus::start();
        if (!bus) {
            GTEST_SKIP() << lumenary::testing::privateSessionBusMissing;
        }
    }

    std::unique_ptr<FakeMprisPlayer> startPlayer(FakePlayerShape shape, FakePlayerState state = {}) {
        return std::make_unique<FakeMprisPlayer>(bus->address(), std::move(shape), std::move(state));
    }
    MprisMusicPlayer layer(std::optional<std::string> preferred = std::nullopt,
                           std::chrono::milliseconds timeout = 5s) {
        return MprisMusicPlayer(
            {.busAddress = bus->address(), .preferredPlayer = std::move(preferred), .callTimeout = timeout});
    }

    std::unique_ptr<PrivateSessionBus> bus;
};

TEST_F(MprisMusicPlayerTest, WithoutAPlayerCommandsFailAndNothingIsPlaying) {
    auto music = layer();
    const std::string none = "MusicPlayer 1 No music player is running";
    EXPECT_EQ(described(music.play()), none);
    EXPECT_EQ(described(music.setVolume(10)), none);
    EXPECT_EQ(described(music.playlistNames(5)), none);
    auto track = music.currentTrack();
    ASSERT_TRUE(track);
    EXPECT_FALSE(track.value());
}

TEST_F(MprisMusicPlayerTest, CommandsAskWhetherThePlayerCanThenCallIt) {
    struct Case {
        std::function<std::optional<PlatformError>(MusicPlayer&)> run;
        Calls calls;
    };
    const Case cases[] = {
        {[](MusicPlayer& music) { return music.play(); }, {"Get Player.CanPlay", "Player.Play"}},
        {[](MusicPlayer& music) { return music.pause(); }, {"Get Player.CanPause", "Player.Pause"}},
        {[](MusicPlayer& music) { return music.next(); }, {"Get Player.CanGoNext", "Player.Next"}},
        {[](MusicPlayer& music) { return music.previous(); }, {"Get Player.CanGoPrevious", "Player.Previous"}},
        {[](MusicPlayer& music) { return music.setVolume(42); }, {"Get Player.CanControl", "Set Player.Volume 0.42"}},
        {[](MusicPlayer& music) { return music.setVolume(100); }, {"Get Player.CanControl", "Set Player.Volume 1"}},
    };
    for (const auto& testCase : cases) {
        auto fake = startPlayer(named("fake"));
        auto music = layer();
        EXPECT_EQ(described(testCase.run(music)), "none");
        EXPECT_EQ(fake->calls(), testCase.calls);
    }
}

TEST_F(MprisMusicPlayerTest, APlayerThatSaysItCannotIsRefusedWithItsReasonAndNotCalled) {
    struct Case {
        std::function<void(FakePlayerState&)> forbid;
        std::function<std::optional<PlatformError>(MusicPlayer&)> run;
        std::string description;
    };
    const Case cases[] = {
        {[](FakePlayerState& state) { state.canPlay = false; }, [](MusicPlayer& music) { return music.play(); },
         "The music player fake cannot play now: it reports CanPlay false"},
        {[](FakePlayerState& state) { state.canPause = false; }, [](MusicPlayer& music) { return music.pause(); },
         "The music player fake cannot pause now: it reports CanPause false"},
        {[](FakePlayerState& state) { state.canGoNext = false; }, [](MusicPlayer& music) { return music.next(); },
         "The music player fake cannot skip to the next track now: it reports CanGoNext false"},
        {[](FakePlayerState& state) { state.canGoPrevious = false; },
         [](MusicPlayer& music) { return music.previous(); },
         "The music player fake cannot go back to the previous track now: it reports CanGoPrevious false"},
        {[](FakePlayerState& state) { state.canControl = false; },
         [](MusicPlayer& music) { return music.setVolume(5); },
         "The music player fake cannot set the volume now: it reports CanControl false"},
    };
    for (const auto& testCase : cases) {
        FakePlayerState state;
        testCase.forbid(state);
        auto fake = startPlayer(named("fake"), state);
        auto music = layer();
        EXPECT_EQ(described(testCase.run(music)), "MusicPlayer 2 " + testCase.description);
        EXPECT_EQ(fake->calls().size(), 1u) << testCase.description;
    }
}

TEST_F(MprisMusicPlayerTest, TheNamedPlayerElseAPlayingOneElseTheFirstByBusName) {
    struct Case {
        const char* alphaStatus;
        const char* betaStatus;
        std::optional<std::string> preferred;
        std::string chosen;
    };
    const Case cases[] = {
        {"Paused", "Playing", std::nullopt, "beta"},
        {"Paused", "Stopped", std::nullopt, "alpha"},
        {"Playing", "Playing", std::nullopt, "alpha"},
        {"Playing", "Paused", "beta", "beta"},
        {"Playing", "Paused", "org.mpris.MediaPlayer2.beta", "beta"},
        {"Paused", "Playing", "", "beta"},
    };
    for (const auto& testCase : cases) {
        FakePlayerState alphaState;
        alphaState.playbackStatus = testCase.alphaStatus;
        FakePlayerState betaState;
        betaState.playbackStatus = testCase.betaStatus;
        // Started in reverse order, so the bus's own order is not the rule.
        auto beta = startPlayer(named("beta"), betaState);
        auto alpha = startPlayer(named("alpha"), alphaState);
        auto music = layer(testCase.preferred);
        ASSERT_EQ(described(music.play()), "none");
        const auto& chosen = testCase.chosen == "alpha" ? alpha : beta;
        const auto& other = testCase.chosen == "alpha" ? beta : alpha;
        EXPECT_EQ(chosen->calls().back(), "Player.Play") << testCase.chosen;
        const auto otherCalls = other->calls();
        EXPECT_EQ(std::count(otherCalls.begin(), otherCalls.end(), "Player.Play"), 0);
    }
}

TEST_F(MprisMusicPlayerTest, ANamedPlayerThatIsNotRunningIsNotReplacedByAnother) {
    auto alpha = startPlayer(named("alpha"));
    auto music = layer("gamma");
    EXPECT_EQ(described(music.play()),
              "MusicPlayer 1 No music player is running as org.mpris.MediaPlayer2.gamma, the player the defaults key "
              "musicPlayer names. Start it, or remove the key to use any player.");
    EXPECT_FALSE(music.currentTrack().value());
    EXPECT_TRUE(alpha->calls().empty());
}

TEST_F(MprisMusicPlayerTest, TheCurrentTrackIsReadForgivingWrongTypes) {
    struct Case {
        std::string metadata;
        const char* status;
        std::optional<std::int64_t> position;
        std::optional<PlayingTrack> track;
    };
    const Case cases[] = {
        {"{'xesam:title': <'Feeling ||| Good'>, 'xesam:artist': <['Nina Simone', 'Hal Mooney']>, "
         "'xesam:album': <'Spell'>, 'mpris:length': <int64 155250000>}",
         "Playing", 12'000'400,
         PlayingTrack{"Feeling ||| Good", "Nina Simone, Hal Mooney", "Spell", 155'250'000, 12'000'400, "playing"}},
        {"{'xesam:title': <'A'>, 'xesam:artist': <'Nina Simone'>, 'mpris:length': <155250000.4>}", "Paused", 0,
         PlayingTrack{"A", "Nina Simone", "", 155'250'000, 0, "paused"}},
        {"{'mpris:length': <uint64 3000000>, 'xesam:album': <['Two', 'Parts']>}", "Playing", std::nullopt,
         PlayingTrack{"", "", "Two, Parts", 3'000'000, std::nullopt, "playing"}},
        {"{'mpris:length': <'215'>, 'xesam:title': <int32 7>}", "Playing", 5,
         PlayingTrack{"", "", "", std::nullopt, 5, "playing"}},
        {"@a{sv} {}", "Playing", 5, PlayingTrack{"", "", "", std::nullopt, 5, "playing"}},
        {"{'xesam:title': <@ay [0x63, 0x61, 0x66, 0xe9]>}", "Playing", 0,
         PlayingTrack{"caf\xEF\xBF\xBD", "", "", std::nullopt, 0, "playing"}},
        {"{'xesam:title': <'A'>}", "Stopped", 0, std::nullopt},
    };
    for (const auto& testCase : cases) {
        FakePlayerState state;
        state.metadata = testCase.metadata;
        state.playbackStatus = testCase.status;
        state.position = testCase.position;
        auto fake = startPlayer(named("fake"), state);
        auto music = layer();
        auto track = music.currentTrack();
        ASSERT_TRUE(track) << described(track);
        EXPECT_EQ(track.value(), testCase.track) << testCase.metadata;
        EXPECT_EQ(fake->calls(), Calls{"GetAll Player"});
    }
}

TEST_F(MprisMusicPlayerTest, PlaylistNamesComeInThePlayersOrderUpToTheLimit) {
    struct Case {
        std::vector<std::string> orderings;
        std::int64_t limit;
        std::vector<std::string> names;
        Calls calls;
    };
    const std::vector<std::string> playlists{"Road Trip", "Focus", "Sleep"};
    const Case cases[] = {
        {{"Alphabetical", "UserDefined"},
         25,
         playlists,
         {"GetAll Playlists", "Playlists.GetPlaylists 0 25 UserDefined"}},
        {{"CreationDate", "Alphabetical"},
         2,
         {"Road Trip", "Focus"},
         {"GetAll Playlists", "Playlists.GetPlaylists 0 2 CreationDate"}},
        {{"Alphabetical"}, 0, {}, {"GetAll Playlists"}},
        {{"Alphabetical"}, -4, {}, {"GetAll Playlists"}},
    };
    for (const auto& testCase : cases) {
        FakePlayerState state;
        state.playlists = playlists;
        state.orderings = testCase.orderings;
        auto fake = startPlayer(named("fake"), state);
        auto music = layer();
        auto names = music.playlistNames(testCase.limit);
        ASSERT_TRUE(names) << described(names);
        EXPECT_EQ(names.value(), testCase.names);
        EXPECT_EQ(fake->calls(), testCase.calls);
    }
}

TEST_F(MprisMusicPlayerTest, APlaylistIsStartedByItsExactNameAsAnArgumentNeverAsText) {
    FakePlayerState state;
    state.playlists = {"Road Trip", "Say \"Hi\"", "back\\slash", "two\nlines", "Road Trip"};
    auto fake = startPlayer(named("fake"), state);
    auto music = layer();
    struct Case {
        std::string name;
        std::optional<std::string> activated;
    };
    const Case cases[] = {
        {"Road Trip", "/playlist/0"},  {"Say \"Hi\"", "/playlist/1"}, {"back\\slash", "/playlist/2"},
        {"two\nlines", "/playlist/3"}, {"road trip", std::nullopt},   {"Say \\\"Hi\\\"", std::nullopt},
        {"back", std::nullopt},
    };
    for (const auto& testCase : cases) {
        auto start = music.playPlaylist(testCase.name, false);
        ASSERT_TRUE(start) << described(start);
        EXPECT_EQ(start.value(), testCase.activated ? PlaylistStart::started : PlaylistStart::notFound);
        const auto calls = fake->calls();
        if (testCase.activated) {
            EXPECT_EQ(calls.back(), "Playlists.ActivatePlaylist " + *testCase.activated);
        } else {
            EXPECT_EQ(calls.back().rfind("Playlists.GetPlaylists", 0), 0u) << calls.back();
        }
    }
}

TEST_F(MprisMusicPlayerTest, ShuffleIsSetBeforeThePlaylistStartsOnlyWhenItDiffers) {
    struct Case {
        bool hasShuffle;
        bool shuffleBefore;
        bool shuffle;
        std::string outcome;
        Calls tail;
    };
    const Case cases[] = {
        {true,
         false,
         true,
         "none",
         {"Get Player.Shuffle", "Set Player.Shuffle true", "Playlists.ActivatePlaylist /playlist/0"}},
        {true,
         true,
         false,
         "none",
         {"Get Player.Shuffle", "Set Player.Shuffle false", "Playlists.ActivatePlaylist /playlist/0"}},
        {true, true, true, "none", {"Get Player.Shuffle", "Playlists.ActivatePlaylist /playlist/0"}},
        // GDBus answers for a property the player lacks; the player sees no Get.
        {false,
         false,
         false,
         "none",
         {"Playlists.GetPlaylists 0 4294967295 UserDefined", "Playlists.ActivatePlaylist /playlist/0"}},
        {false,
         false,
         true,
         "MusicPlayer 2 The music player fake cannot shuffle: it has no Shuffle property",
         {"Playlists.GetPlaylists 0 4294967295 UserDefined"}},
    };
    for (const auto& testCase : cases) {
        FakePlayerState state;
        state.playlists = {"Road Trip"};
        state.shuffle = testCase.shuffleBefore;
        auto shape = named("fake");
        shape.hasShuffle = testCase.hasShuffle;
        auto fake = startPlayer(shape, state);
        auto music = layer();
        auto start = music.playPlaylist("Road Trip", testCase.shuffle);
        EXPECT_EQ(start ? std::string("none") : described(start), testCase.outcome);
        const auto calls = fake->calls();
        ASSERT_GE(calls.size(), testCase.tail.size());
        EXPECT_EQ(Calls(calls.end() - static_cast<std::ptrdiff_t>(testCase.tail.size()), calls.end()), testCase.tail);
    }
}

TEST_F(MprisMusicPlayerTest, AFileOpensOnAPlayerThatTakesFilesAndCanPlayWithShuffleWhereItHasIt) {
    const std::string uri = "file:///music/%C3%A9t%C3%A9.flac";
    struct Case {
        bool opensFiles;
        bool canPlay;
        bool hasShuffle;
        std::optional<bool> shuffle;
        std::optional<UriStart> start;
        Calls calls;
    };
    const Case cases[] = {
        {true,
         true,
         true,
         true,
         UriStart::started,
         {"Get MediaPlayer2.SupportedUriSchemes", "Get Player.CanPlay", "Player.OpenUri " + uri, "Get Player.Shuffle",
          "Set Player.Shuffle true"}},
        {true,
         true,
         true,
         false,
         UriStart::started,
         {"Get MediaPlayer2.SupportedUriSchemes", "Get Player.CanPlay", "Player.OpenUri " + uri, "Get Player.Shuffle"}},
        {true,
         true,
         false,
         true,
         UriStart::started,
         {"Get MediaPlayer2.SupportedUriSchemes", "Get Player.CanPlay", "Player.OpenUri " + uri}},
        {true,
         true,
         true,
         std::nullopt,
         UriStart::started,
         {"Get MediaPlayer2.SupportedUriSchemes", "Get Player.CanPlay", "Player.OpenUri " + uri}},
        {true, false, true, true, UriStart::notOffered, {"Get MediaPlayer2.SupportedUriSchemes", "Get Player.CanPlay"}},
        {false, true, true, true, UriStart::notOffered, {"Get MediaPlayer2.SupportedUriSchemes"}},
    };
    for (const auto& testCase : cases) {
        auto shape = named("vlc");
        shape.opensFiles = testCase.opensFiles;
        shape.hasShuffle = testCase.hasShuffle;
        FakePlayerState state;
        state.canPlay = testCase.canPlay;
        auto player = startPlayer(shape, state);
        auto started = layer().openUri(uri, testCase.shuffle);
        ASSERT_TRUE(started) << described(started);
        EXPECT_EQ(started.value(), testCase.start);
        EXPECT_EQ(player->calls(), testCase.calls);
    }
    EXPECT_EQ(layer().openUri(uri, std::nullopt).value(), UriStart::notOffered) << "with no player at all";
}

// Audacious 4.2 lists "file" among its URI schemes but has no OpenUri; a
// player may also refuse it as not supported. The file then goes elsewhere,
// the player's shuffle untouched; any other refusal is the player's error.
TEST_F(MprisMusicPlayerTest, APlayerWithoutOpenUriOrThatDoesNotSupportItLeavesTheFileToTheCaller) {
    const std::string uri = "file:///music/a.flac";
    struct Case {
        bool hasOpenUri;
        std::optional<std::string> openUriError;
        std::optional<bool> shuffle;
        std::string outcome;
        // The bus itself answers a method the player does not have.
        std::string lastCall;
    };
    const Case cases[] = {
        {false, std::nullopt, std::nullopt, "not offered", "Get Player.CanPlay"},
        {false, std::nullopt, true, "not offered", "Get Player.CanPlay"},
        {true, "org.freedesktop.DBus.Error.NotSupported", std::nullopt, "not offered", "Player.OpenUri " + uri},
        {true, "org.freedesktop.DBus.Error.NotSupported", true, "not offered", "Player.OpenUri " + uri},
        {true, std::nullopt, std::nullopt, "started", "Player.OpenUri " + uri},
        {true, "org.mpris.MediaPlayer2.Player.Error.Busy", true,
         "MusicPlayer 4 Music player error: audacious failed Player.OpenUri: the fake player refuses OpenUri." + advice,
         "Player.OpenUri " + uri},
    };
    for (const auto& testCase : cases) {
        auto shape = named("audacious");
        shape.opensFiles = true;
        shape.hasOpenUri = testCase.hasOpenUri;
        shape.openUriError = testCase.openUriError;
        auto player = startPlayer(shape);
        const auto started = layer().openUri(uri, testCase.shuffle);
        const std::string outcome = !started                               ? described(started)
                                    : started.value() == UriStart::started ? "started"
                                                                           : "not offered";
        EXPECT_EQ(outcome, testCase.outcome) << testCase.openUriError.value_or("no OpenUri");
        const auto calls = player->calls();
        EXPECT_EQ(calls.back(), testCase.lastCall);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Set Player.Shuffle true"), 0)
            << "the player's shuffle is left as it was";
    }
}

TEST_F(MprisMusicPlayerTest, TenThousandPlaylistsAreListedAndFound) {
    FakePlayerState state;
    for (int index = 0; index < 10'000; ++index) {
        state.playlists.push_back("List " + std::to_string(index));
    }
    auto fake = startPlayer(named("fake"), state);
    auto music = layer();
    auto names = music.playlistNames(20'000);
    ASSERT_TRUE(names) << described(names);
    EXPECT_EQ(names.value(), state.playlists);
    auto start = music.playPlaylist("List 9999", false);
    ASSERT_TRUE(start) << described(start);
    EXPECT_EQ(fake->calls().back(), "Playlists.ActivatePlaylist /playlist/9999");
}

TEST_F(MprisMusicPlayerTest, APlayerWithoutPlaylistsSaysSo) {
    auto shape = named("fake");
    shape.offersPlaylists = false;
    FakePlayerState state;
    state.playlists = {"Road Trip"};
    auto fake = startPlayer(shape, state);
    auto music = layer();
    const std::string description =
        "MusicPlayer 3 Playlists are not available for the music player fake: it does not offer the MPRIS Playlists "
        "interface." +
        advice;
    EXPECT_EQ(described(music.playlistNames(25)), description);
    EXPECT_EQ(described(music.playPlaylist("Road Trip", false)), description);
}

TEST_F(MprisMusicPlayerTest, APlayerThatNeverAnswersCostsOneDeadline) {
    auto silentShape = named("alpha");
    silentShape.neverAnswers = true;
    auto silent = startPlayer(silentShape);
    auto music = layer(std::nullopt, 300ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(described(music.play()),
              "MusicPlayer 4 Music player error: alpha did not answer Player.CanPlay within 300 ms." + advice);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    // Beside a player that answers, asking both for their status at once
    // waits one deadline, and the answering one that plays is chosen.
    FakePlayerState playingState;
    playingState.playbackStatus = "Playing";
    auto playing = startPlayer(named("beta"), playingState);
    const auto choiceStart = std::chrono::steady_clock::now();
    EXPECT_EQ(described(music.pause()), "none");
    EXPECT_LT(std::chrono::steady_clock::now() - choiceStart, 3s);
    EXPECT_EQ(playing->calls().back(), "Player.Pause");
}

TEST_F(MprisMusicPlayerTest, APlayerThatLeavesTheBusBeforeAnsweringFailsTheCall) {
    auto shape = named("fake");
    shape.leavesOn = "Play";
    auto fake = startPlayer(shape);
    auto music = layer();
    EXPECT_EQ(described(music.play()),
              "MusicPlayer 4 Music player error: fake left the session bus before it answered Player.Play." + advice);
    EXPECT_EQ(described(music.play()), "MusicPlayer 1 No music player is running");
}

TEST_F(MprisMusicPlayerTest, TheSessionBusIsTheOneTheEnvironmentNamesAndNeverOneLaunchedForTheCall) {
    auto fake = startPlayer(named("fake"));
    lumenary::testing::TemporaryDirectory runtime;
    const std::string sessionAdvice =
        " MPRIS players publish themselves on the desktop session's bus; start Lumenary inside that session or set "
        "DBUS_SESSION_BUS_ADDRESS to its address.";
    struct Case {
        std::optional<std::string> address;
        std::string outcome;
    };
    const Case cases[] = {
        {bus->address(), "none"},
        {std::nullopt,
         "MusicPlayer 5 Music player error: no session bus to find players on: DBUS_SESSION_BUS_ADDRESS is not set "
         "and $XDG_RUNTIME_DIR/bus does not exist." +
             sessionAdvice},
        {"unix:path=" + (runtime.path() / "gone").string(),
         "MusicPlayer 5 Music player error: cannot connect to the session bus at unix:path=" +
             (runtime.path() / "gone").string() + ": Could not connect: No such file or directory." + sessionAdvice},
    };
    for (const auto& testCase : cases) {
        lumenary::testing::ScopedEnvironment environment;
        environment.set("DBUS_SESSION_BUS_ADDRESS", testCase.address);
        environment.set("XDG_RUNTIME_DIR", runtime.path().string());
        environment.set("DISPLAY", ":0");
        MprisMusicPlayer music({});
        EXPECT_EQ(described(music.play()), testCase.outcome);
        // Without a bus no player can take the file: it goes elsewhere.
        const auto opened = music.openUri("file:///a.flac", std::nullopt);
        ASSERT_TRUE(opened) << described(opened);
        EXPECT_EQ(opened.value(), UriStart::notOffered);
    }
}

}  // namespace
}  // namespace lumenary::platform
