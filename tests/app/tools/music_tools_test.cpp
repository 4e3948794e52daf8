#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <tuple>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "app/tools/local_tool_service.hpp"
#include "app/tools/music/current_track_text.hpp"
#include "app/tools/music/music_tool_handler.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/memory_tag_reader.hpp"
#include "support/recording_music_player.hpp"
#include "support/recording_url_opener.hpp"
#include "support/scratch_desktop.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

using lumenary::testing::RecordingMusicPlayer;
using Calls = std::vector<std::string>;

const platform::PlatformError playerGone =
    platform::musicPlayerError(platform::MusicPlayerFailure::noPlayer, "No music player is running");

platform::PlayingTrack track(std::string title) {
    return {.title = std::move(title),
            .artist = "Nina Simone, Hal Mooney",
            .album = "I Put a Spell on You",
            .durationMicroseconds = 155'250'000,
            .positionMicroseconds = 12'000'400,
            .state = "playing"};
}

// The music category behind a tool service, switched on, over a recording
// player, a recording URL opener and a library folder of the test's own
// whose files' tags come from memory.
class MusicToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        category = std::make_shared<MusicToolHandler>(player, library, opener, std::chrono::milliseconds(0));
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::music)] = category;
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setMusicEnabled(true);
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return outcomeText(service->callTool(std::move(name), std::move(arguments)));
    }
    std::string outcomeText(asio::awaitable<ToolOutcome<std::string>> call) {
        return app::testing::toolOutcomeText(io, std::move(call));
    }

    // Adds a file of that name (and folders) below the library folder.
    std::string addFile(const std::string& name, const std::string& text = "") {
        const auto path = music.path() / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
        return path.string();
    }

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    lumenary::testing::TemporaryDirectory music;
    std::shared_ptr<lumenary::testing::MemoryTagReader> tags =
        std::make_shared<lumenary::testing::MemoryTagReader>(std::map<std::string, platform::AudioTags>{
            {"feeling.flac", {"Feeling Good", "Nina Simone", "I Put a Spell on You", 175'000}},
            {"été.mp3", {"Été indien", "Joe Dassin", "L'Album", 210'000}},
            {"say.ogg", {"Say \"Hi\"", "Ann", "", std::nullopt}},
        });
    std::shared_ptr<platform::MusicLibrary> library = std::make_shared<platform::MusicLibrary>(
        platform::MusicLibrarySettings{.folder = music.path(), .indexFile = {}}, tags, [](const std::string&) {});
    std::shared_ptr<lumenary::testing::RecordingUrlOpener> opener =
        std::make_shared<lumenary::testing::RecordingUrlOpener>();
    std::shared_ptr<RecordingMusicPlayer> player = std::make_shared<RecordingMusicPlayer>();
    std::shared_ptr<MusicToolHandler> category;
    std::shared_ptr<LocalToolService> service;
};

TEST_F(MusicToolsTest, ANameOutsideTheCategoryIsUnknown) {
    EXPECT_EQ(outcomeText(category->handle("music_stop", {})), "MusicTool 404 Unknown music tool: music_stop");
    EXPECT_TRUE(player->calls().empty());
}

TEST_F(MusicToolsTest, EveryListedToolIsHandled) {
    for (const auto& tool : category->tools()) {
        EXPECT_NE(outcomeText(category->handle(tool.name, {})).rfind("MusicTool 404", 0), 0u) << tool.name;
    }
}

TEST_F(MusicToolsTest, SimpleCommandsAskThePlayerAndAnswerSuccess) {
    const std::pair<const char*, const char*> cases[] = {
        {"music_play", "play"}, {"music_pause", "pause"}, {"music_next", "next"}, {"music_prev", "previous"}};
    for (const auto& [tool, playerCall] : cases) {
        EXPECT_EQ(call(tool), "Success") << tool;
        EXPECT_EQ(player->calls().back(), playerCall) << tool;
    }
}

TEST_F(MusicToolsTest, APlayerFailureIsAServerErrorWithThePlayersDescription) {
    player->failEveryCall(platform::musicPlayerError(platform::MusicPlayerFailure::refused,
                                                     "The music player vlc cannot play now: it reports CanPlay false"));
    const std::pair<const char*, PlainDictionary> cases[] = {
        {"music_play", {}},
        {"music_pause", {}},
        {"music_next", {}},
        {"music_prev", {}},
        {"music_set_volume", {{"level", std::int64_t{10}}}},
        {"music_get_current_track", {}},
        {"music_list_playlists", {}},
        {"music_play_playlist", {{"playlist", "Road Trip"}}},
    };
    for (const auto& [tool, arguments] : cases) {
        EXPECT_EQ(call(tool, arguments), "MusicTool 500 The music player vlc cannot play now: it reports CanPlay false")
            << tool;
    }
}

// Not "Success": a command that reached no player must not look done.
TEST_F(MusicToolsTest, WithoutAPlayerCommandsFail) {
    player->failEveryCall(playerGone);
    EXPECT_EQ(call("music_play"), "MusicTool 500 No music player is running");
    EXPECT_EQ(call("music_set_volume", {{"level", std::int64_t{10}}}), "MusicTool 500 No music player is running");
}

TEST_F(MusicToolsTest, TheVolumeIsClampedAndOnlyAnIntegerLevelCounts) {
    struct Case {
        PlainDictionary arguments;
        std::string answer;
        Calls calls;
    };
    const Case cases[] = {
        {{{"level", std::int64_t{42}}}, "Success", {"setVolume 42"}},
        {{{"level", std::int64_t{150}}}, "Success", {"setVolume 100"}},
        {{{"level", std::int64_t{-5}}}, "Success", {"setVolume 0"}},
        {{{"level", std::int64_t{0}}}, "Success", {"setVolume 0"}},
        {{{"level", 42.0}}, "MusicTool 400 Missing 'level' argument", {}},
        {{{"level", "42"}}, "MusicTool 400 Missing 'level' argument", {}},
        {{}, "MusicTool 400 Missing 'level' argument", {}},
    };
    for (const auto& testCase : cases) {
        const auto before = player->calls().size();
        EXPECT_EQ(call("music_set_volume", testCase.arguments), testCase.answer);
        const auto calls = player->calls();
        EXPECT_EQ(Calls(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()), testCase.calls)
            << testCase.answer;
    }
}

TEST_F(MusicToolsTest, TheCurrentTrackIsSixLinesReadFieldByField) {
    struct Case {
        std::optional<platform::PlayingTrack> track;
        std::string answer;
    };
    auto withPipes = track("Feeling ||| Good");
    auto unknownTimes = track("Live");
    unknownTimes.durationMicroseconds.reset();
    unknownTimes.positionMicroseconds.reset();
    unknownTimes.state = "paused";
    const Case cases[] = {
        {std::nullopt, "No track is currently playing."},
        {track("Feeling Good"),
         "Playing: Feeling Good\nArtist: Nina Simone, Hal Mooney\nAlbum: I Put a Spell on You\nDuration: 155.25s\n"
         "Position: 12s\nState: playing"},
        {withPipes,
         "Playing: Feeling ||| Good\nArtist: Nina Simone, Hal Mooney\nAlbum: I Put a Spell on You\nDuration: 155.25s\n"
         "Position: 12s\nState: playing"},
        {unknownTimes,
         "Playing: Live\nArtist: Nina Simone, Hal Mooney\nAlbum: I Put a Spell on You\nDuration: unknown\n"
         "Position: unknown\nState: paused"},
    };
    for (const auto& testCase : cases) {
        player->setTrack(testCase.track);
        EXPECT_EQ(call("music_get_current_track"), testCase.answer);
    }
}

TEST(SecondsTextTest, MicrosecondsBecomeSecondsWithAtMostThreeDecimals) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0"},
        {215'000'000, "215"},
        {215'500'000, "215.5"},
        {1'234'567, "1.235"},
        {1'234'499, "1.234"},
        {999'999'999, "1000"},
        {400, "0"},
        {500, "0.001"},
        {-1'500'000, "-1.5"},
        {-400, "0"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854.776"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854.776"},
    };
    for (const auto& [microseconds, text] : cases) {
        EXPECT_EQ(secondsText(microseconds), text) << microseconds;
    }
}

TEST_F(MusicToolsTest, TheLibraryIsSearchedByTitleArtistOrAlbumIgnoringCase) {
    addFile("Nina/feeling.flac");
    addFile("Joe/été.mp3");
    addFile("say.ogg");
    addFile("Broken Tags.mp3");
    addFile("road.m3u8", "#PLAYLIST:Road Trip\nNina/feeling.flac\n");
    player->setPlaylists({"Focus"});
    EXPECT_EQ(call("music_get_library_stats"), "Library: 4 tracks, 2 playlists.");

    const std::tuple<const char*, PlainDictionary, std::string> cases[] = {
        {"music_search", {{"query", "SIMONE"}}, "Feeling Good - Nina Simone (I Put a Spell on You)"},
        {"music_search", {{"query", "ÉTÉ"}}, "Été indien - Joe Dassin (L'Album)"},
        {"music_search", {{"query", "spell"}}, "Feeling Good - Nina Simone (I Put a Spell on You)"},
        {"music_search", {{"query", "broken"}}, "Broken Tags -  ()"},
        {"music_search",
         {{"query", "n"}},
         "Broken Tags -  ()\nÉté indien - Joe Dassin (L'Album)\nFeeling Good - Nina Simone (I Put a Spell on You)\n"
         "Say \"Hi\" - Ann ()"},
        {"music_search", {{"query", "n"}, {"limit", std::int64_t{1}}}, "Broken Tags -  ()"},
        {"music_search", {{"query", "n"}, {"limit", std::int64_t{0}}}, "No songs found."},
        {"music_search", {{"query", "Road Trip"}}, "No songs found."},
        {"music_search", {{"query", std::int64_t{1}}}, "MusicTool 400 Missing 'query' argument"},
        {"music_play_song", {{"song", true}}, "MusicTool 400 Missing 'song' argument"},
    };
    for (const auto& [tool, arguments, answer] : cases) {
        EXPECT_EQ(call(tool, arguments), answer);
    }

    player->failEveryCall(playerGone);
    EXPECT_EQ(call("music_get_library_stats"), "Library: 4 tracks, 1 playlists.") << "the files alone";
}

// The library's tools need the music folder alone; the player's commands
// still need a player, and say what is missing.
TEST_F(MusicToolsTest, WithoutASessionBusTheLibraryToolsAnswerFromTheFolderAlone) {
    addFile("Nina/feeling.flac");
    addFile("say.ogg");
    addFile("lists/road.m3u8", "#PLAYLIST:Road Trip\n../Nina/feeling.flac\n");
    const std::string noBus =
        "Music player error: no session bus to find players on: DBUS_SESSION_BUS_ADDRESS is not set and "
        "$XDG_RUNTIME_DIR/bus does not exist.";
    player->failEveryCall(platform::musicPlayerError(platform::MusicPlayerFailure::noSessionBus, noBus));
    const std::tuple<const char*, PlainDictionary, std::string> cases[] = {
        {"music_get_library_stats", {}, "Library: 2 tracks, 1 playlists."},
        {"music_list_playlists", {}, "Road Trip"},
        {"music_list_playlists", {{"limit", std::int64_t{0}}}, ""},
        {"music_search", {{"query", "feel"}}, "Feeling Good - Nina Simone (I Put a Spell on You)"},
        {"music_play", {}, "MusicTool 500 " + noBus},
        {"music_get_current_track", {}, "MusicTool 500 " + noBus},
    };
    for (const auto& [tool, arguments, answer] : cases) {
        EXPECT_EQ(call(tool, arguments), answer) << tool;
    }
}

TEST_F(MusicToolsTest, ASongPlaysOnThePlayerWhereItOpensFilesElseThroughTheOpener) {
    const auto song = addFile("Joe/été.mp3");
    const std::string uri = "file://" + music.path().string() + "/Joe/%C3%A9t%C3%A9.mp3";
    EXPECT_EQ(call("music_play_song", {{"song", "indien"}}), "Playing: Été indien by Joe Dassin");
    EXPECT_EQ(player->calls(), Calls{"openUri " + uri});
    EXPECT_TRUE(opener->links().empty());

    player->setOpensUris(false);
    EXPECT_EQ(call("music_play_song", {{"song", "DASSIN"}}), "Playing: Été indien by Joe Dassin");
    EXPECT_EQ(opener->links(), std::vector<std::string>{uri});

    opener->failWith(platform::PlatformError{"UrlOpener", 500, "xdg-open: no method available for opening 'x'"});
    EXPECT_EQ(call("music_play_song", {{"song", "indien"}}),
              "MusicTool 500 Could not open " + song + ": xdg-open: no method available for opening 'x'");
    EXPECT_EQ(call("music_play_song", {{"song", "Say \"Hi\""}}), "Song not found: Say \"Hi\"");
}

// A player that takes no files leaves the song to the desktop's default
// audio player, as xdg-open finds it by the file's type.
class MusicToolsOnADesktopTest : public MusicToolsTest,
                                 public ::testing::WithParamInterface<lumenary::testing::FileTypeReader> {};

TEST_P(MusicToolsOnADesktopTest, TheDesktopsDefaultAudioPlayerReceivesTheSongsFile) {
    if (auto missing = lumenary::testing::ScratchDesktop::unavailable(GetParam())) GTEST_SKIP() << *missing;
    lumenary::testing::ScratchDesktop desktop(GetParam());
    desktop.installHandler(false, {"audio/flac"});
    const auto song = addFile("Nina/feeling.flac", std::string("fLaC\0\0\0\x22\x10\0\x10\0", 12));
    player->setOpensUris(false);
    MusicToolHandler handler(player, library, std::make_shared<platform::XdgUrlOpener>(), std::chrono::milliseconds(0));
    EXPECT_EQ(outcomeText(handler.handle("music_play_song", {{"song", "feeling"}})),
              "Playing: Feeling Good by Nina Simone");
    EXPECT_EQ(desktop.receivedArgument(), song);
}

INSTANTIATE_TEST_SUITE_P(, MusicToolsOnADesktopTest, lumenary::testing::everyFileTypeReader(),
                         ::testing::PrintToStringParamName());

TEST_F(MusicToolsTest, AbsentFolderIsAnEmptyLibraryAndAnUnreadableOneAnError) {
    std::vector<std::string> lines;
    auto absent = std::make_shared<platform::MusicLibrary>(
        platform::MusicLibrarySettings{.folder = music.path() / "none", .indexFile = {}}, tags,
        [&lines](const std::string& line) { lines.push_back(line); });
    MusicToolHandler onAbsent(player, absent, opener, std::chrono::milliseconds(0));
    EXPECT_EQ(outcomeText(onAbsent.handle("music_get_library_stats", {})), "Library: 0 tracks, 0 playlists.");
    EXPECT_EQ(outcomeText(onAbsent.handle("music_search", {{"query", "a"}})), "No songs found.");
    EXPECT_EQ(lines, std::vector<std::string>{"The music folder " + (music.path() / "none").string() +
                                              " does not exist: the music library is empty. Set LUMENARY_MUSIC_DIR "
                                              "or the defaults key musicDirectory to your music folder."});

    const auto notAFolder = addFile("file.txt");
    auto unreadable = std::make_shared<platform::MusicLibrary>(
        platform::MusicLibrarySettings{.folder = notAFolder, .indexFile = {}}, tags, [](const std::string&) {});
    MusicToolHandler onUnreadable(player, unreadable, opener, std::chrono::milliseconds(0));
    const std::string failure = "MusicTool 500 The music folder " + notAFolder +
                                " cannot be read: Not a directory. Set LUMENARY_MUSIC_DIR or the defaults key "
                                "musicDirectory to your music folder.";
    for (const char* tool : {"music_get_library_stats", "music_list_playlists"}) {
        EXPECT_EQ(outcomeText(onUnreadable.handle(tool, {})), failure) << tool;
    }
    EXPECT_EQ(outcomeText(onUnreadable.handle("music_play_song", {{"song", "a"}})), failure);
}

TEST_F(MusicToolsTest, PlaylistFilesFollowThePlayersOwnAndPlayByExactName) {
    const auto focus = addFile("lists/focus.m3u", "deep.flac\n");
    addFile("lists/mix.m3u8", "#EXTM3U\n#PLAYLIST:Mix Tape\n/music/a.flac\n");
    player->setPlaylists({"Road Trip"});
    EXPECT_EQ(call("music_list_playlists"), "Road Trip, focus, Mix Tape");
    EXPECT_EQ(call("music_list_playlists", {{"limit", std::int64_t{2}}}), "Road Trip, focus");
    player->failEveryCall(playerGone);
    EXPECT_EQ(call("music_list_playlists"), "focus, Mix Tape");

    player = std::make_shared<RecordingMusicPlayer>();
    player->setPlaylists({"Road Trip"});
    MusicToolHandler handler(player, library, opener, std::chrono::milliseconds(0));
    EXPECT_EQ(outcomeText(handler.handle("music_play_playlist", {{"playlist", "focus"}, {"shuffle", true}})),
              "Playing playlist: focus");
    EXPECT_EQ(player->calls(), (Calls{"playPlaylist focus shuffle", "openUri file://" + focus + " shuffle"}));
    EXPECT_EQ(outcomeText(handler.handle("music_play_playlist", {{"playlist", "Mix Tape"}})),
              "Playing playlist: Mix Tape");
    EXPECT_EQ(player->calls().back(), "openUri file://" + music.path().string() + "/lists/mix.m3u8 in order");
    EXPECT_EQ(outcomeText(handler.handle("music_play_playlist", {{"playlist", "mix tape"}})),
              "Playlist not found: mix tape");
}

TEST_F(MusicToolsTest, PlaylistNamesAreJoinedUpToTheLimit) {
    struct Case {
        std::vector<std::string> playlists;
        PlainDictionary arguments;
        std::string answer;
        std::string call;
    };
    std::vector<std::string> thirty;
    for (int index = 1; index <= 30; ++index) {
        thirty.push_back("List " + std::to_string(index));
    }
    std::string firstTwentyFive = "List 1";
    for (int index = 2; index <= 25; ++index) {
        firstTwentyFive += ", List " + std::to_string(index);
    }
    const Case cases[] = {
        {{"Road Trip", "Focus, Deep", "Sleep"}, {}, "Road Trip, Focus, Deep, Sleep", "playlistNames 25"},
        {{"Road Trip", "Focus"}, {{"limit", std::int64_t{1}}}, "Road Trip", "playlistNames 1"},
        {{"Road Trip"}, {{"limit", std::int64_t{0}}}, "", "playlistNames 0"},
        {{"Road Trip"}, {{"limit", std::int64_t{-3}}}, "", "playlistNames -3"},
        {{}, {}, "", "playlistNames 25"},
        {thirty, {{"limit", "3"}}, firstTwentyFive, "playlistNames 25"},
        {thirty, {{"limit", 3.0}}, firstTwentyFive, "playlistNames 25"},
    };
    for (const auto& testCase : cases) {
        player->setPlaylists(testCase.playlists);
        EXPECT_EQ(call("music_list_playlists", testCase.arguments), testCase.answer);
        EXPECT_EQ(player->calls().back(), testCase.call);
    }
}

TEST_F(MusicToolsTest, APlaylistIsPlayedByItsExactNameWithShuffleOnlyWhenAskedAsABoolean) {
    player->setPlaylists({"Road Trip", "Say \"Hi\" \\ back\nslash"});
    struct Case {
        PlainDictionary arguments;
        std::string answer;
        std::string call;
    };
    const Case cases[] = {
        {{{"playlist", "Road Trip"}}, "Playing playlist: Road Trip", "playPlaylist Road Trip"},
        {{{"playlist", "Road Trip"}, {"shuffle", true}},
         "Playing playlist: Road Trip",
         "playPlaylist Road Trip shuffle"},
        {{{"playlist", "Road Trip"}, {"shuffle", "true"}}, "Playing playlist: Road Trip", "playPlaylist Road Trip"},
        {{{"playlist", "road trip"}}, "Playlist not found: road trip", "playPlaylist road trip"},
        {{{"playlist", "Say \"Hi\" \\ back\nslash"}},
         "Playing playlist: Say \"Hi\" \\ back\nslash",
         "playPlaylist Say \"Hi\" \\ back\nslash"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(call("music_play_playlist", testCase.arguments), testCase.answer);
        EXPECT_EQ(player->calls().back(), testCase.call);
    }
    const auto before = player->calls().size();
    EXPECT_EQ(call("music_play_playlist", {{"playlist", std::int64_t{7}}}),
              "MusicTool 400 Missing 'playlist' argument");
    EXPECT_EQ(player->calls().size(), before);
}

TEST_F(MusicToolsTest, ThePauseAfterStartingAPlaylistLetsTheMainExecutorServeOthers) {
    player->setPlaylists({"Road Trip"});
    const auto pause = std::chrono::milliseconds(300);
    auto pausing = std::make_shared<MusicToolHandler>(player, library, opener, pause);
    std::optional<std::chrono::steady_clock::time_point> otherWorkRan;
    std::optional<std::chrono::steady_clock::time_point> answered;
    const auto start = std::chrono::steady_clock::now();
    asio::co_spawn(io, pausing->handle("music_play_playlist", {{"playlist", "Road Trip"}}),
                   [&](std::exception_ptr, ToolOutcome<std::string> result) {
                       EXPECT_EQ(result.value(), "Playing playlist: Road Trip");
                       answered = std::chrono::steady_clock::now();
                   });
    // Queued behind the call's first steps: it runs while the call waits.
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            asio::steady_timer timer(io, std::chrono::milliseconds(50));
            co_await timer.async_wait(asio::use_awaitable);
            otherWorkRan = std::chrono::steady_clock::now();
        },
        asio::detached);
    io.run();
    ASSERT_TRUE(answered && otherWorkRan);
    EXPECT_GE(*answered - start, pause);
    EXPECT_LT(*otherWorkRan, *answered);
}

}  // namespace
}  // namespace lumenary::app
