// The music library over folders the tests make, with audio files that
// ffmpeg writes with real tags, read by TagLib.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "platform/defaults/memory_defaults_store.hpp"
#include "platform/music/music_library.hpp"
#include "platform/music/music_library_folder.hpp"
#include "platform/music/playlist_file.hpp"
#include "platform/music/tags/taglib_tag_reader.hpp"
#include "support/audio_files.hpp"
#include "support/finished_within.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;
using Titles = std::vector<std::string>;

// TagLib's reader, counting the files it reads.
class CountingTagReader final : public AudioTagReader {
public:
    std::optional<AudioTags> read(const fs::path& file) override {
        ++reads;
        return tags.read(file);
    }
    TagLibTagReader tags;
    std::atomic<int> reads{0};
};

class MusicLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        made = new lumenary::testing::TemporaryDirectory();
        ready = lumenary::testing::writeTaggedAudio(made->path() / "feeling.flac", "Feeling Good", "Nina Simone",
                                                    "I Put a Spell on You") &&
                lumenary::testing::writeTaggedAudio(made->path() / "chanson.mp3", "Chanson d'été", "Zoë", "Ünïcødé") &&
                lumenary::testing::writeTaggedAudio(made->path() / "other.flac", "Sinnerman", "Nina Simone",
                                                    "Pastel Blues");
    }
    static void TearDownTestSuite() { delete made; }

    void SetUp() override {
        if (!ready) {
            GTEST_SKIP() << "ffmpeg could not write the test's audio files";
        }
    }

    void copy(const std::string& made_, const fs::path& to) {
        fs::create_directories((music() / to).parent_path());
        fs::copy_file(made->path() / made_, music() / to, fs::copy_options::overwrite_existing);
    }
    void write(const fs::path& to, const std::string& text) {
        fs::create_directories((music() / to).parent_path());
        std::ofstream(music() / to, std::ios::binary) << text;
    }
    fs::path music() const { return folder.path() / "Música"; }

    std::shared_ptr<MusicLibrary> library() {
        return std::make_shared<MusicLibrary>(
            MusicLibrarySettings{.folder = music(), .indexFile = folder.path() / "cache" / "music-library.index"}, tags,
            [](const std::string&) {});
    }
    static Titles titles(const PlatformOutcome<std::vector<LibraryTrack>>& found) {
        Titles titles;
        for (const auto& track : found.value()) titles.push_back(track.title);
        return titles;
    }

    static inline lumenary::testing::TemporaryDirectory* made = nullptr;
    static inline bool ready = false;
    lumenary::testing::TemporaryDirectory folder;
    std::shared_ptr<CountingTagReader> tags = std::make_shared<CountingTagReader>();
};

TEST_F(MusicLibraryTest, AudioFilesAtAnyDepthAreListedWithTheirTagsAndPlaylistFilesBesideThem) {
    copy("feeling.flac", "Nina Simone/Spell/01 Feeling Good.flac");
    copy("chanson.mp3", "Été/chanson.mp3");
    copy("other.flac", ".hidden/other.flac");
    write("Broken Tags.mp3", "ID3\x04garbage that is no audio at all");
    write("notes.txt", "not music");
    write("lists/Road Trip.m3u8", "#EXTM3U\n../Été/chanson.mp3\n");
    // A link back up and a second way into a folder: each real folder once.
    fs::create_directory_symlink(music(), music() / "Été" / "loop");
    fs::create_directory_symlink(music() / "Nina Simone", music() / "again");
    auto tracks = library();

    const auto counts = tracks->counts();
    ASSERT_TRUE(counts) << counts.error().description;
    EXPECT_EQ(counts.value().tracks, 3U);
    EXPECT_EQ(counts.value().playlists, 1U);

    const auto all = tracks->search("", 10);
    ASSERT_TRUE(all);
    ASSERT_EQ(all.value().size(), 3U);
    const auto& broken = all.value()[0];
    EXPECT_EQ(broken.title, "Broken Tags");
    EXPECT_EQ(broken.artist, "");
    EXPECT_EQ(broken.durationMilliseconds, std::nullopt);
    // In path order: "Été" comes after "Nina Simone".
    const auto& feeling = all.value()[1];
    EXPECT_EQ(feeling.file, (music() / "Nina Simone/Spell/01 Feeling Good.flac").string());
    EXPECT_EQ(feeling.album, "I Put a Spell on You");
    ASSERT_TRUE(feeling.durationMilliseconds);
    EXPECT_NEAR(static_cast<double>(*feeling.durationMilliseconds), 1000.0, 200.0);

    const std::pair<const char*, Titles> searches[] = {
        {"ZOË", {"Chanson d'été"}}, {"ÉTÉ", {"Chanson d'été"}}, {"ünïcødé", {"Chanson d'été"}},
        {"nina", {"Feeling Good"}}, {"Sinnerman", {}},          {"Road Trip", {}},
    };
    for (const auto& [query, expected] : searches) {
        EXPECT_EQ(titles(tracks->search(query, 10)), expected) << query;
    }
    const auto playlists = tracks->playlists();
    ASSERT_TRUE(playlists);
    ASSERT_EQ(playlists.value().size(), 1U);
    EXPECT_EQ(playlists.value()[0].name, "Road Trip");
}

TEST_F(MusicLibraryTest, TheIndexReadsOnlyWhatChangedAndForgetsWhatIsGone) {
    copy("feeling.flac", "a.flac");
    copy("chanson.mp3", "b.mp3");
    ASSERT_EQ(library()->counts().value().tracks, 2U);
    EXPECT_EQ(tags->reads, 2);

    auto again = library();
    EXPECT_EQ(titles(again->search("", 10)), (Titles{"Feeling Good", "Chanson d'été"}));
    EXPECT_EQ(tags->reads, 2) << "a new run starts from the saved index";

    copy("other.flac", "a.flac");
    fs::last_write_time(music() / "a.flac", fs::last_write_time(music() / "a.flac") + std::chrono::seconds(5));
    EXPECT_EQ(titles(again->search("", 10)), (Titles{"Sinnerman", "Chanson d'été"}));
    EXPECT_EQ(tags->reads, 3);

    fs::remove(music() / "b.mp3");
    EXPECT_EQ(titles(again->search("", 10)), Titles{"Sinnerman"});
    EXPECT_EQ(library()->counts().value().tracks, 1U);
    EXPECT_EQ(tags->reads, 3);
}

// The index is the library's own file, but anything can stand in its place:
// each of these once held every call (a pipe) or took gigabytes of memory
// (/dev/zero, a long file without a line feed).
TEST_F(MusicLibraryTest, AnIndexThatIsNoRegularFileTooLargeOrMalformedIsDroppedAndRebuilt) {
    copy("feeling.flac", "a.flac");
    const fs::path index = folder.path() / "cache" / "music-library.index";
    const std::string folderLine = music().string() + "\n";
    struct Case {
        std::string reason;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"it is not a regular file", [&] { ::mkfifo(index.c_str(), 0600); }},
        {"it is not a regular file", [&] { fs::create_symlink("/dev/zero", index); }},
        {"it is larger than 128 MiB",
         [&] {
             std::ofstream(index) << "lumenary music index 1\n" << folderLine;
             fs::resize_file(index, 129 * 1024 * 1024);
         }},
        {"it is not a music library index", [&] { std::ofstream(index) << std::string(100'000, 'x'); }},
        {"line 3 is malformed",
         [&] { std::ofstream(index) << "lumenary music index 1\n"
                                    << folderLine << "t\tno numbers\n"; }},
        {"line 3 is malformed",
         [&] {
             std::ofstream(index) << "lumenary music index 1\n"
                                  << folderLine << "t\t" << (music() / "a.flac").string() << "\t1\t2\tT\tA\tB\t";
         }},
        {"line 5 is malformed",
         [&] {
             const std::string entry = "t\t" + (music() / "a.flac").string() + "\t1\t2\tT\tA\tB\t\n";
             std::ofstream(index) << "lumenary music index 1\n" << folderLine << entry << entry << "p\tx\t1\t2\n";
         }},
    };
    for (const auto& testCase : cases) {
        fs::create_directories(index.parent_path());
        fs::remove(index);
        testCase.make();
        std::vector<std::string> lines;
        auto tracks = std::make_shared<MusicLibrary>(MusicLibrarySettings{.folder = music(), .indexFile = index}, tags,
                                                     [&lines](const std::string& line) { lines.push_back(line); });
        const auto counts =
            lumenary::testing::finishedWithin(std::chrono::seconds(10), [tracks] { return tracks->counts(); });
        ASSERT_TRUE(counts) << testCase.reason << ": the library did not answer";
        ASSERT_TRUE(*counts) << counts->error().description;
        EXPECT_EQ(counts->value().tracks, 1U);
        EXPECT_EQ(lines,
                  std::vector<std::string>{"The music library index " + index.string() + " cannot be used (" +
                                           testCase.reason + "): it is dropped and rebuilt from the music folder."});
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(index))) << testCase.reason;
        const int reads = tags->reads;
        EXPECT_EQ(titles(library()->search("", 10)), Titles{"Feeling Good"}) << testCase.reason;
        EXPECT_EQ(tags->reads, reads) << testCase.reason << ": the rebuilt index is read";
    }
}

TEST(MusicLibraryFolderTest, TheEnvironmentThenTheDefaultsThenUserDirsThenMusicInTheHomeFolder) {
    lumenary::testing::TemporaryDirectory home;
    lumenary::testing::ScopedEnvironment environment;
    environment.set("HOME", home.path().string());
    environment.set("XDG_CONFIG_HOME", (home.path() / "config").string());
    environment.set("XDG_CACHE_HOME", std::nullopt);
    fs::create_directories(home.path() / "config");
    struct Case {
        std::optional<std::string> variable;
        std::optional<std::string> key;
        std::optional<std::string> userDirs;
        fs::path folder;
    };
    const Case cases[] = {
        {"/srv/music", "/srv/other", "XDG_MUSIC_DIR=\"$HOME/Musik\"", "/srv/music"},
        {std::nullopt, "~/Tunes", "XDG_MUSIC_DIR=\"$HOME/Musik\"", home.path() / "Tunes"},
        {"", "", "# comment\nXDG_MUSIC_DIR=\"$HOME/Musik\"", home.path() / "Musik"},
        {std::nullopt, std::nullopt, "XDG_MUSIC_DIR=\"/mnt/Music \\\"x\\\"\"", "/mnt/Music \"x\""},
        {std::nullopt, std::nullopt, "XDG_MUSIC_DIR=\"$HOME/\"", home.path() / "Music"},
        {std::nullopt, std::nullopt, "XDG_MUSIC_DIR=\"$HOME\"", home.path() / "Music"},
        {std::nullopt, std::nullopt, std::nullopt, home.path() / "Music"},
    };
    for (const auto& testCase : cases) {
        environment.set("LUMENARY_MUSIC_DIR", testCase.variable);
        MemoryDefaultsStore defaults;
        if (testCase.key) defaults.set("musicDirectory", mcp::Value(*testCase.key));
        fs::remove(home.path() / "config" / "user-dirs.dirs");
        if (testCase.userDirs) std::ofstream(home.path() / "config" / "user-dirs.dirs") << *testCase.userDirs << "\n";
        EXPECT_EQ(musicLibraryFolder(defaults), testCase.folder) << testCase.folder;
    }
    EXPECT_EQ(musicLibraryIndexFile(), home.path() / ".cache/lumenary/music-library.index");
    environment.set("XDG_CACHE_HOME", "/var/cache/ada");
    EXPECT_EQ(musicLibraryIndexFile(), "/var/cache/ada/lumenary/music-library.index");
}

TEST(PlaylistFileTest, EntriesAreResolvedFromThePlaylistsFolderAndTheNameLineWins) {
    struct Case {
        std::string text;
        std::string name;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"#EXTM3U\r\n#EXTINF:123,Nina Simone - Feeling Good\r\nNina/feeling.flac\r\n/srv/a.mp3\r\n\r\n",
         "Road Trip",
         {"/music/lists/Nina/feeling.flac", "/srv/a.mp3"}},
        {"\xEF\xBB\xBF#PLAYLIST: Été \n../b c.mp3\nfile:///srv/%C3%A9t%C3%A9.mp3\nhttp://radio.example/stream\n",
         "Été",
         {"/music/b c.mp3", "/srv/été.mp3", "http://radio.example/stream"}},
        {"#PLAYLIST:\n\xE9t\xE9.mp3\nfile://elsewhere/x.mp3\nfile:///a%00b.mp3\n",
         "Road Trip",
         {"/music/lists/été.mp3", "file://elsewhere/x.mp3", "file:///a%00b.mp3"}},
        {"", "Road Trip", {}},
    };
    for (const auto& testCase : cases) {
        const auto playlist = readPlaylistText(testCase.text, "/music/lists/Road Trip.m3u");
        EXPECT_EQ(playlist.name, testCase.name) << testCase.text;
        EXPECT_EQ(playlist.entries, testCase.entries) << testCase.text;
    }
}

}  // namespace
}  // namespace lumenary::platform
