// The music category in the real program, over a fake MPRIS player on a bus
// of the test's own, switched on by the user's defaults.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "peers/fake_mpris_player.hpp"
#include "platform/text/percent_encoding.hpp"
#include "support/audio_files.hpp"
#include "support/child_process.hpp"
#include "support/private_session_bus.hpp"
#include "support/scoped_environment.hpp"
#include "support/scratch_desktop.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

std::string percentEncodedPath(const std::filesystem::path& path) {
    return platform::percentEncoded(path.string(), "/");
}

class MusicProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = testing::PrivateSessionBus::start();
        if (!bus) {
            GTEST_SKIP() << testing::privateSessionBusMissing;
        }
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        environment.set("DBUS_SESSION_BUS_ADDRESS", bus->address());
        environment.set("LUMENARY_MUSIC_DIR", (folder.path() / "music").string());
        environment.set("XDG_CACHE_HOME", (folder.path() / "cache").string());
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isMusicEnabled":true})";
    }

    // The program, initialized, its standard error going to `errorFile`.
    std::unique_ptr<testing::ChildProcess> startProgram(const std::string& errorFile) {
        auto program = std::make_unique<testing::ChildProcess>(
            std::vector<std::string>{testing::siblingProgram("lumenary")}, -1, (folder.path() / errorFile).string());
        program->writeLine(testing::initializeRequest);
        EXPECT_TRUE(program->readLine());
        return program;
    }

    // The text of a tools/call result ("Error: ..." when it failed).
    std::string callTool(testing::ChildProcess& program, const std::string& name, const std::string& arguments) {
        return testing::toolCallText(program, ++lastID, name, arguments);
    }

    testing::TemporaryDirectory folder;
    testing::ScopedEnvironment environment;
    std::unique_ptr<testing::PrivateSessionBus> bus;
    int lastID = 1;
};

TEST_F(MusicProgramTest, ControlsThePlayerOnTheSessionBus) {
    testing::FakePlayerShape shape;
    shape.name = "fake";
    shape.opensFiles = true;
    testing::FakePlayerState state;
    state.playbackStatus = "Playing";
    state.metadata = "{'xesam:title': <'A ||| B'>, 'xesam:artist': <['Ann', 'Bo']>, 'mpris:length': <int64 61500000>}";
    state.position = 2'000'000;
    state.playlists = {"Road Trip", "Say \"Hi\" \\o/"};
    testing::FakeMprisPlayer player(bus->address(), shape, state);

    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "music.err").string());
    program.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                      R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine());

    EXPECT_EQ(callTool(program, "music_play", "{}"), "Success");
    EXPECT_EQ(callTool(program, "music_set_volume", R"({"level":150})"), "Success");
    EXPECT_EQ(callTool(program, "music_get_current_track", "{}"),
              "Playing: A ||| B\nArtist: Ann, Bo\nAlbum: \nDuration: 61.5s\nPosition: 2s\nState: playing");
    EXPECT_EQ(callTool(program, "music_list_playlists", "{}"), "Road Trip, Say \"Hi\" \\o/");
    EXPECT_EQ(callTool(program, "music_play_playlist", R"({"playlist":"Say \"Hi\" \\o/"})"),
              "Playing playlist: Say \"Hi\" \\o/");
    std::filesystem::create_directories(folder.path() / "music");
    std::ofstream(folder.path() / "music" / "Ünï.m3u8") << "a.flac\n";
    EXPECT_EQ(callTool(program, "music_get_library_stats", "{}"), "Library: 0 tracks, 3 playlists.");
    EXPECT_EQ(callTool(program, "music_play_playlist", R"({"playlist":"Ünï","shuffle":true})"),
              "Playing playlist: Ünï");
    const auto calls = player.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "Player.Play"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "Set Player.Volume 1"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "Playlists.ActivatePlaylist /playlist/1"), calls.end());
    ASSERT_GE(calls.size(), 3U);
    EXPECT_EQ(
        std::vector<std::string>(calls.end() - 3, calls.end()),
        (std::vector<std::string>{"Player.OpenUri file://" + percentEncodedPath(folder.path() / "music" / "Ünï.m3u8"),
                                  "Get Player.Shuffle", "Set Player.Shuffle true"}))
        << "shuffled once the player has taken the file";
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "cache" / "lumenary" / "music-library.index"));

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

// A player that lists "file" but has no OpenUri (Audacious 4.2), one that
// refuses it as not supported, and no session bus at all: the song goes to
// the desktop's default audio player, whichever way xdg-mime reads its type.
class MusicProgramOnADesktopTest : public MusicProgramTest,
                                   public ::testing::WithParamInterface<testing::FileTypeReader> {};

TEST_P(MusicProgramOnADesktopTest, ASongAPlayerCannotOpenGoesToTheDefaultAudioPlayer) {
    if (auto missing = testing::ScratchDesktop::unavailable(GetParam())) GTEST_SKIP() << *missing;
    testing::ScratchDesktop desktop(GetParam());
    desktop.installHandler(false, {"audio/flac"});
    const auto song = folder.path() / "music" / "feeling.flac";
    std::filesystem::create_directories(song.parent_path());
    std::ofstream(song, std::ios::binary) << std::string("fLaC\0\0\0\x22\x10\0\x10\0", 12);
    std::ofstream(folder.path() / "music" / "road.m3u8") << "#PLAYLIST:Road Trip\nfeeling.flac\n";
    struct Case {
        const char* what;
        bool hasOpenUri;
        std::optional<std::string> openUriError;
        bool bus;
    };
    const Case cases[] = {
        {"no OpenUri", false, std::nullopt, true},
        {"OpenUri not supported", true, "org.freedesktop.DBus.Error.NotSupported", true},
        {"no session bus", true, std::nullopt, false},
    };
    for (const auto& testCase : cases) {
        testing::FakePlayerShape shape;
        shape.name = "audacious";
        shape.opensFiles = true;
        shape.hasOpenUri = testCase.hasOpenUri;
        shape.openUriError = testCase.openUriError;
        testing::FakeMprisPlayer player(bus->address(), shape);
        testing::ScopedEnvironment busless;
        if (!testCase.bus) {
            busless.set("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
            busless.set("XDG_RUNTIME_DIR", folder.path().string());
        }
        desktop.forgetReceived();
        auto program = startProgram("music.err");
        EXPECT_EQ(callTool(*program, "music_play_song", R"({"song":"feeling"})"), "Playing: feeling by ")
            << testCase.what;
        EXPECT_EQ(desktop.receivedArgument(), song.string()) << testCase.what;
        if (!testCase.bus) {
            EXPECT_EQ(callTool(*program, "music_get_library_stats", "{}"), "Library: 1 tracks, 1 playlists.");
            EXPECT_EQ(callTool(*program, "music_list_playlists", "{}"), "Road Trip");
        }
        program->signal(SIGTERM);
        EXPECT_EQ(program->waitForExit(), 0) << testCase.what;
    }
}

INSTANTIATE_TEST_SUITE_P(, MusicProgramOnADesktopTest, testing::everyFileTypeReader(),
                         ::testing::PrintToStringParamName());

// TagLib recurses once per nested MP4 atom: the file below took the whole
// program down with it at the first library call, and again after every
// restart, no index having been saved.
TEST_F(MusicProgramTest, AFileThatCrashesTheTagReaderIsListedByNameAndTheProgramServesOn) {
    const auto music = folder.path() / "music";
    std::filesystem::create_directories(music);
    if (!testing::writeTaggedAudio(music / "feeling.flac", "Feeling Good", "Nina Simone", "I Put a Spell on You") ||
        !testing::writeTaggedAudio(music / "chanson.mp3", "Chanson d'été", "Zoë", "Été")) {
        GTEST_SKIP() << "ffmpeg could not write the test's audio files";
    }
    testing::writeNestedAtomsM4a(music / "album.m4a", 70'000);
    for (const char* run : {"first.err", "second.err"}) {
        auto program = startProgram(run);
        // The first scan meets the crash, which a sanitizer build reports
        // at length before the worker ends.
        EXPECT_EQ(testing::toolCallText(*program, ++lastID, "music_get_library_stats", "{}", std::chrono::seconds(60)),
                  "Library: 3 tracks, 0 playlists.")
            << run;
        EXPECT_EQ(callTool(*program, "music_search", R"({"query":""})"),
                  "album -  ()\nChanson d'été - Zoë (Été)\nFeeling Good - Nina Simone (I Put a Spell on You)")
            << run;
        EXPECT_EQ(callTool(*program, "music_list_playlists", "{}"), "") << run;
        program->signal(SIGTERM);
        EXPECT_EQ(program->waitForExit(), 0) << run;
    }
    const auto said = testing::fileText(folder.path() / "first.err");
    EXPECT_NE(said.find("The tags of " + (music / "album.m4a").string() + " could not be read: the tag reader"),
              std::string::npos)
        << said;
    EXPECT_EQ(testing::fileText(folder.path() / "second.err").find("The tags of"), std::string::npos)
        << "the second run starts from the index, which lists the file by its name";
}

}  // namespace
}  // namespace lumenary
