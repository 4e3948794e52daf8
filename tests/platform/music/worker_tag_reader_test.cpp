// The tag worker program (lumenary-tags, built beside the tests) reading real
// files ffmpeg wrote, a file that crashes TagLib and one it cannot open,
// and stand-in workers that misbehave.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/music/music_library.hpp"
#include "platform/music/worker_tag_reader.hpp"
#include "support/audio_files.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;

// What one file read as: its title and artist, or "unreadable".
std::string readingText(const std::optional<AudioTags>& tags) {
    return tags ? tags->title + " / " + tags->artist : "unreadable";
}

class WorkerTagReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        made = new lumenary::testing::TemporaryDirectory();
        ready = lumenary::testing::writeTaggedAudio(made->path() / "feeling.flac", "Feeling Good", "Nina Simone",
                                                    "I Put a Spell on You") &&
                lumenary::testing::writeTaggedAudio(made->path() / "chanson.m4a", "Chanson d'été", "Zoë", "Été");
        lumenary::testing::writeNestedAtomsM4a(made->path() / "album.m4a", 70'000);
        std::ofstream(made->path() / "garbage.mp3") << "ID3\x04 no audio at all";
        ::mkfifo((made->path() / "pipe.mp3").c_str(), 0600);
    }
    static void TearDownTestSuite() { delete made; }

    void SetUp() override {
        if (!ready) {
            GTEST_SKIP() << "ffmpeg could not write the test's audio files";
        }
    }

    static fs::path file(const std::string& name) { return made->path() / name; }

    static TagWorkerSettings worker() {
        TagWorkerSettings settings;
        settings.executable = lumenary::testing::siblingProgram("lumenary-tags");
        settings.fileTimeLimit = std::chrono::seconds(30);
        return settings;
    }
    static TagWorkerSettings program(const std::string& executable) {
        TagWorkerSettings settings;
        settings.executable = executable;
        settings.arguments = {""};
        settings.fileTimeLimit = std::chrono::seconds(5);
        return settings;
    }
    // A stand-in worker: a shell script on the worker's descriptors.
    static TagWorkerSettings script(const std::string& text) {
        auto settings = program("/bin/sh");
        settings.arguments = {"-c", text};
        return settings;
    }

    static inline lumenary::testing::TemporaryDirectory* made = nullptr;
    static inline bool ready = false;
    std::vector<std::string> lines;
    std::function<void(const std::string&)> console = [this](const std::string& line) { lines.push_back(line); };
};

// A file that crashes TagLib costs that file alone: a fresh worker reads the
// rest. A FIFO where a song was is unreadable at once, not waited on.
TEST_F(WorkerTagReaderTest, AFileThatCrashesTheWorkerIsUnreadableAndTheRestAreRead) {
    struct Case {
        std::vector<std::string> files;
        std::vector<std::string> readings;
        // What the console says of the one bad file, if any.
        std::string said;
    };
    const Case cases[] = {
        {{"feeling.flac", "garbage.mp3", "chanson.m4a"},
         {"Feeling Good / Nina Simone", " / ", "Chanson d'été / Zoë"},
         ""},
        {{"feeling.flac", "album.m4a", "chanson.m4a", "feeling.flac"},
         {"Feeling Good / Nina Simone", "unreadable", "Chanson d'été / Zoë", "Feeling Good / Nina Simone"},
         "The tags of " + file("album.m4a").string() + " could not be read: the tag reader ended while reading it"},
        {{"album.m4a"}, {"unreadable"}, "could not be read: the tag reader ended while reading it"},
        {{"pipe.mp3", "feeling.flac"}, {"unreadable", "Feeling Good / Nina Simone"}, ""},
    };
    for (const auto& testCase : cases) {
        lines.clear();
        // Long enough for a crash under AddressSanitizer, which reports it
        // first.
        WorkerTagReader reader(worker(), console);
        std::vector<fs::path> files;
        for (const auto& name : testCase.files) files.push_back(file(name));
        const auto readings = reader.readEach(files);
        EXPECT_FALSE(readings.failure) << readings.failure->description;
        std::vector<std::string> texts;
        for (const auto& tags : readings.tags) texts.push_back(readingText(tags));
        EXPECT_EQ(texts, testCase.readings) << testCase.files.front();
        if (testCase.said.empty()) {
            EXPECT_TRUE(lines.empty()) << lines.front();
        } else {
            ASSERT_EQ(lines.size(), 1U) << testCase.files.front();
            EXPECT_NE(lines.front().find(testCase.said), std::string::npos) << lines.front();
        }
    }
}

TEST_F(WorkerTagReaderTest, AWorkerThatCannotStartOrAnswersNonsenseFailsWithoutTakingTheServer) {
    const std::string greet = "echo 'lumenary-tags 1' >&4; ";
    const std::string answer = "echo '+\tT\tA\t\t12' >&4";
    const std::string notForFeeling =
        "The tag reader /bin/sh ended while reading " + file("feeling.flac").string() + ", not for that file: it ";
    struct Case {
        TagWorkerSettings settings;
        std::vector<std::string> readings;
        // The start of the failure, or of what the console says.
        std::string failure;
        std::string said;
    };
    const Case cases[] = {
        {program("/nonexistent/lumenary-tags"),
         {},
         "The tag reader /nonexistent/lumenary-tags could not be started: ",
         ""},
        {script("echo 'lumenary-tags 0' >&4; cat <&3 >/dev/null"),
         {},
         "The tag reader /bin/sh could not be started: it did not greet as lumenary-tags 1",
         ""},
        {script("exit 0"), {}, "The tag reader /bin/sh could not be started: ", ""},
        {script(greet + "read -r path <&3; read -r end <&3; echo 'x' >&4; cat <&3 >/dev/null"),
         {"unreadable", "unreadable"},
         "",
         "could not be read: the tag reader sent an answer that could not be read (not five fields after +)"},
        {script(greet + "while read -r path <&3; do [ -z \"$path\" ] || echo '+\tT\tA\t\t12' >&4; done"),
         {"T / A", "T / A"},
         "",
         ""},
        {script(greet + "while read -r path <&3; do [ -z \"$path\" ] || echo '+\tT\tA\t\t-3' >&4; done"),
         {"unreadable", "unreadable"},
         "",
         "(a duration that is no count of milliseconds)"},
        // Our worker, told a process that is not its parent started it.
        {script("exec '" + lumenary::testing::siblingProgram("lumenary-tags") + "' $$"),
         {},
         "The tag reader /bin/sh could not be started: ",
         ""},
        {script(greet + "while read -r path <&3; do case $path in *feeling*) exec sleep 600;; '') ;; *) " + answer +
                ";; esac; done"),
         {"unreadable", "T / A"},
         "",
         "The tags of " + file("feeling.flac").string() +
             " could not be read: the tag reader took longer than 5 s and was stopped. It is listed by its file name."},
        // Crashes and failures of its own blame the file; signals from
        // outside and an exit with success do not, and end the reading.
        {script(greet + "read -r path <&3; ulimit -c 0; kill -SEGV $$"),
         {"unreadable", "unreadable"},
         "",
         "could not be read: the tag reader ended while reading it: it was killed by signal 11 (SIGSEGV)"},
        {script(greet + "read -r path <&3; exit 3"),
         {"unreadable", "unreadable"},
         "",
         "could not be read: the tag reader ended while reading it: it exited with status 3"},
        {script(greet + "read -r path <&3; kill -INT $$"), {}, notForFeeling + "was killed by signal 2 (SIGINT)", ""},
        {script(greet + "read -r path <&3; kill -TERM $$"),
         {},
         notForFeeling + "was killed by signal 15 (SIGTERM)",
         ""},
        {script(greet + "read -r path <&3; kill -KILL $$"), {}, notForFeeling + "was killed by signal 9 (SIGKILL)", ""},
        {script(greet + "read -r path <&3; exit 0"), {}, notForFeeling + "exited with status 0", ""},
    };
    for (const auto& testCase : cases) {
        lines.clear();
        WorkerTagReader reader(testCase.settings, console);
        const auto readings = reader.readEach({file("feeling.flac"), file("chanson.m4a")});
        std::vector<std::string> texts;
        for (const auto& tags : readings.tags) texts.push_back(readingText(tags));
        EXPECT_EQ(texts, testCase.readings) << testCase.settings.arguments.back();
        if (testCase.failure.empty()) {
            EXPECT_FALSE(readings.failure) << readings.failure->description;
        } else {
            ASSERT_TRUE(readings.failure) << testCase.settings.arguments.back();
            EXPECT_EQ(readings.failure->description.rfind(testCase.failure, 0), 0U) << readings.failure->description;
        }
        if (!testCase.said.empty()) {
            ASSERT_FALSE(lines.empty());
            EXPECT_NE(lines.front().find(testCase.said), std::string::npos) << lines.front();
        }
    }
}

// The index is saved though a file crashed the worker, with that file listed
// by its name, so the next run neither reads it again nor crashes.
TEST_F(WorkerTagReaderTest, TheLibraryIndexKeepsACrashedFileByNameAndTheNextRunDoesNotReadIt) {
    lumenary::testing::TemporaryDirectory folder;
    fs::create_directories(folder.path() / "Music");
    for (const char* name : {"feeling.flac", "album.m4a", "chanson.m4a"}) {
        fs::copy_file(file(name), folder.path() / "Music" / name);
    }
    // The worker, counting what it is asked to read.
    class CountingWorker final : public AudioTagReader {
    public:
        explicit CountingWorker(WorkerTagReader& worker) : worker_(worker) {}
        std::optional<AudioTags> read(const fs::path&) override { return std::nullopt; }
        AudioTagReadings readEach(const std::vector<fs::path>& files) override {
            asked += files.size();
            return worker_.readEach(files);
        }
        std::size_t asked = 0;

    private:
        WorkerTagReader& worker_;
    };
    WorkerTagReader worker(this->worker(), console);
    const auto run = [&] {
        auto counting = std::make_shared<CountingWorker>(worker);
        MusicLibrary library({.folder = folder.path() / "Music", .indexFile = folder.path() / "music-library.index"},
                             counting, console);
        std::vector<std::string> listed;
        const auto found = library.search("", 10);
        for (const auto& track : found.value()) listed.push_back(track.title + " / " + track.artist);
        return std::pair{listed, counting->asked};
    };
    const std::vector<std::string> listed = {"album / ", "Chanson d'été / Zoë", "Feeling Good / Nina Simone"};
    EXPECT_EQ(run(), std::pair(listed, std::size_t{3}));
    EXPECT_EQ(run(), std::pair(listed, std::size_t{0})) << "a new run starts from the saved index";
}

// A worker that cannot start blames no file: the files are listed by name
// for now, kept out of the index, and read once the worker is back.
TEST_F(WorkerTagReaderTest, FilesTheWorkerNeverGotToAreReadAtTheNextCall) {
    lumenary::testing::TemporaryDirectory folder;
    fs::create_directories(folder.path() / "Music");
    fs::copy_file(file("feeling.flac"), folder.path() / "Music" / "feeling.flac");
    const auto installed = folder.path() / "lumenary-tags";
    auto settings = worker();
    settings.executable = installed.string();
    MusicLibrary library({.folder = folder.path() / "Music", .indexFile = folder.path() / "music-library.index"},
                         std::make_shared<WorkerTagReader>(settings, console), console);
    const auto listed = [&library] {
        const auto found = library.search("", 10);
        return found.value().empty() ? std::string() : found.value().front().title;
    };

    EXPECT_EQ(listed(), "feeling");
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines.front().rfind("The tag reader " + installed.string() + " could not be started: ", 0), 0U)
        << lines.front();
    EXPECT_TRUE(lines.front().ends_with(". The music files are listed by their file names until it can."))
        << lines.front();
    std::stringstream index;
    index << std::ifstream(folder.path() / "music-library.index").rdbuf();
    EXPECT_EQ(index.str().find("feeling"), std::string::npos) << index.str();

    fs::create_symlink(lumenary::testing::siblingProgram("lumenary-tags"), installed);
    EXPECT_EQ(listed(), "Feeling Good");
    EXPECT_EQ(lines.size(), 1U);
}

// Ctrl-C in a terminal reaches the worker too: the song in hand is no worse
// for it, so it is listed by name for now and read at the next call.
TEST_F(WorkerTagReaderTest, AFileDuringWhichTheWorkerIsInterruptedIsReadAtTheNextCall) {
    lumenary::testing::TemporaryDirectory folder;
    fs::create_directories(folder.path() / "Music");
    fs::copy_file(file("feeling.flac"), folder.path() / "Music" / "feeling.flac");
    const auto interrupted = folder.path() / "interrupted";
    // Interrupted on its first file once, then a worker that reads all.
    const auto settings = script(
        "echo 'lumenary-tags 1' >&4; while read -r path <&3; do "
        "[ -z \"$path\" ] && continue; "
        "[ -e '" +
        interrupted.string() + "' ] || { : >'" + interrupted.string() +
        "'; kill -INT $$; }; "
        "echo '+\tT\tA\t\t12' >&4; done");
    MusicLibrary library({.folder = folder.path() / "Music", .indexFile = folder.path() / "music-library.index"},
                         std::make_shared<WorkerTagReader>(settings, console), console);
    const auto listed = [&library] {
        const auto found = library.search("", 10);
        return found.value().empty() ? std::string() : found.value().front().title;
    };
    const auto indexed = [&folder] {
        std::stringstream index;
        index << std::ifstream(folder.path() / "music-library.index").rdbuf();
        return index.str().find("feeling") != std::string::npos;
    };

    EXPECT_EQ(listed(), "feeling");
    ASSERT_TRUE(fs::exists(interrupted));
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines.front().find("it was killed by signal 2 (SIGINT)"), std::string::npos) << lines.front();
    EXPECT_FALSE(indexed());

    EXPECT_EQ(listed(), "T");
    EXPECT_EQ(lines.size(), 1U);
    EXPECT_TRUE(indexed());
}

}  // namespace
}  // namespace lumenary::platform
