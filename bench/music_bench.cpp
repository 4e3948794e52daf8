// Load driver: how long the music library's tools take over a music folder
// of realistic size. It generates 20,000 entries (19,950 MP3 files with
// ID3v2.4 tags, 40 to an album folder, and 50 playlist files), then
// measures the first scan (every file's tags read by TagLib in the tag
// worker, lumenary-tags beside this program, the index written), the first
// call of a new run (the index read back), and the median and slowest of
// music_get_library_stats and music_search once indexed, through the tool
// category. Each indexed call must answer within 300 ms; the scans are
// printed, not held to it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/music/music_tool_handler.hpp"
#include "call_times.hpp"
#include "platform/music/music_library.hpp"
#include "platform/music/worker_tag_reader.hpp"
#include "platform/process/process_launcher.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int trackCount = 19'950;
constexpr int playlistCount = 50;
constexpr int albumSize = 40;
constexpr int runs = 15;
constexpr double limitMilliseconds = 300;

const char* const artists[] = {"Nina Simone", "Miles Davis", "Björk", "Joe Dassin", "坂本龍一",
                               "Arvo Pärt",   "Fela Kuti",   "Sade",  "Nick Drake", "Caetano Veloso"};
const char* const words[] = {"Blue", "Night", "Été", "River", "Song", "Light", "Rain", "Home", "Wind", "Gold"};

// No player on the bus: the library answers alone.
class NoPlayer final : public platform::MusicPlayer {
    static platform::PlatformError none() {
        return platform::musicPlayerError(platform::MusicPlayerFailure::noPlayer, "No music player is running");
    }

public:
    std::optional<platform::PlatformError> play() override { return none(); }
    std::optional<platform::PlatformError> pause() override { return none(); }
    std::optional<platform::PlatformError> next() override { return none(); }
    std::optional<platform::PlatformError> previous() override { return none(); }
    std::optional<platform::PlatformError> setVolume(std::int64_t) override { return none(); }
    platform::PlatformOutcome<std::optional<platform::PlayingTrack>> currentTrack() override { return none(); }
    platform::PlatformOutcome<std::vector<std::string>> playlistNames(std::int64_t) override { return none(); }
    platform::PlatformOutcome<platform::PlaylistStart> playPlaylist(const std::string&, bool) override {
        return none();
    }
    platform::PlatformOutcome<platform::UriStart> openUri(const std::string&, std::optional<bool>) override {
        return platform::UriStart::notOffered;
    }
};

class NoOpener final : public platform::UrlOpener {
public:
    std::optional<platform::PlatformError> open(const std::string&) override { return std::nullopt; }
};

void appendSynchsafe(std::string& out, std::size_t value) {
    for (int shift = 21; shift >= 0; shift -= 7) {
        out.push_back(static_cast<char>((value >> shift) & 0x7F));
    }
}

// An ID3v2.4 tag with UTF-8 title, artist and album frames.
std::string id3Tag(const std::string& title, const std::string& artist, const std::string& album) {
    std::string frames;
    for (const auto& [id, text] : {std::pair{"TIT2", title}, std::pair{"TPE1", artist}, std::pair{"TALB", album}}) {
        frames.append(id);
        appendSynchsafe(frames, text.size() + 1);
        frames.append(2, '\0');
        frames.push_back('\3');
        frames.append(text);
    }
    std::string tag = "ID3";
    tag.push_back('\4');
    tag.push_back('\0');
    tag.push_back('\0');
    appendSynchsafe(tag, frames.size());
    return tag + frames;
}

// A second of silence as bare MPEG frames, no tag of its own.
std::string audioFrames(const std::filesystem::path& scratch) {
    const auto file = scratch / "frames.mp3";
    platform::ProcessLaunch launch{
        .executable = "ffmpeg",
        .arguments = {"-v", "error", "-nostdin", "-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-t", "1",
                      "-map_metadata", "-1", "-id3v2_version", "0", "-write_xing", "0", "-y", file.string()},
        .standardInput = std::nullopt,
        .standardOutputLimit = 0,
        .standardErrorLimit = 4096,
        .deadline = std::chrono::seconds(60)};
    if (!platform::ProcessLauncher().run(launch)) {
        return {};
    }
    std::ifstream stream(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void generateLibrary(const std::filesystem::path& folder, const std::string& frames) {
    for (int index = 0; index < trackCount; ++index) {
        const int album = index / albumSize;
        const std::string artist = artists[album % 10];
        const auto albumFolder = folder / artist / ("Album " + std::to_string(album));
        if (index % albumSize == 0) {
            std::filesystem::create_directories(albumFolder);
        }
        const std::string title =
            std::string(words[index % 10]) + " " + words[(index / 10) % 10] + " " + std::to_string(index);
        std::ofstream(albumFolder / (std::to_string(index % albumSize + 1) + " " + title + ".mp3"), std::ios::binary)
            << id3Tag(title, artist, "Album " + std::to_string(album)) << frames;
    }
    std::filesystem::create_directories(folder / "Playlists");
    for (int index = 0; index < playlistCount; ++index) {
        std::ofstream list(folder / "Playlists" / ("Mix " + std::to_string(index) + ".m3u8"));
        list << "#EXTM3U\n";
        for (int entry = 0; entry < 20; ++entry) {
            list << "../" << artists[entry % 10] << "/Album " << entry << "/1 x.mp3\n";
        }
    }
}

using Figures = bench::CallTimes;

Figures measure(const std::function<void()>& call) {
    return bench::timeCalls(runs, call);
}

double millisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
    const auto scratch = std::filesystem::temp_directory_path() / ("music-bench-" + std::to_string(::getpid()));
    const auto folder = scratch / "Music";
    const auto index = scratch / "cache" / "music-library.index";
    std::filesystem::create_directories(scratch);
    const std::string frames = audioFrames(scratch);
    if (frames.empty()) {
        std::printf("ffmpeg could not write the audio frames\n");
        return 1;
    }
    generateLibrary(folder, frames);
    const auto makeLibrary = [&] {
        return std::make_shared<platform::MusicLibrary>(
            platform::MusicLibrarySettings{.folder = folder, .indexFile = index},
            std::make_shared<platform::WorkerTagReader>(
                platform::tagWorkerBesideThisProgram(),
                [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }),
            [](const std::string&) {});
    };

    std::printf("%d audio files (ID3v2.4, %d to an album) and %d playlist files, %d runs each\n", trackCount, albumSize,
                playlistCount, runs);
    std::size_t tracks = 0;
    const double firstScan = millisecondsOf([&] { tracks = makeLibrary()->counts().value().tracks; });
    std::printf("%-44s %9.0f ms   (%zu tracks)\n", "first scan (tags read, index written)", firstScan, tracks);
    const auto library = makeLibrary();
    const double fromIndex = millisecondsOf([&] { tracks = library->counts().value().tracks; });
    std::printf("%-44s %9.0f ms   (%zu tracks)\n", "first call of a new run (index read)", fromIndex, tracks);

    asio::io_context io;
    app::MusicToolHandler handler(std::make_shared<NoPlayer>(), library, std::make_shared<NoOpener>(),
                                  std::chrono::milliseconds(0));
    std::string answer;
    const auto callTool = [&](const std::string& name, app::PlainDictionary arguments) {
        return [&, name, arguments] {
            asio::co_spawn(io, handler.handle(name, arguments), [&](std::exception_ptr error, auto outcome) {
                answer = error ? "thrown" : outcome ? outcome.value() : "Error: " + outcome.error().description();
            });
            io.run();
            io.restart();
        };
    };
    bool within = true;
    const auto report = [&](const char* name, const Figures& figures) {
        const bool fast = figures.slowest <= limitMilliseconds;
        within = within && fast;
        std::printf("%-44s median %7.1f ms   slowest %7.1f ms   %s   (%.60s)\n", name, figures.median, figures.slowest,
                    fast ? "ok" : "OVER 300 ms", answer.c_str());
    };
    report("music_get_library_stats", measure(callTool("music_get_library_stats", {})));
    report("music_search \"night\" (limit 10)", measure(callTool("music_search", {{"query", "night"}})));
    report("music_search \"ÉTÉ\" (limit 1000)",
           measure(callTool("music_search", {{"query", "ÉTÉ"}, {"limit", std::int64_t{1000}}})));
    report("music_search with no match", measure(callTool("music_search", {{"query", "zzzz"}})));
    report("music_list_playlists", measure(callTool("music_list_playlists", {})));

    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return within ? 0 : 1;
}
