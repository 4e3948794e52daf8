#include "typeset_pages.hpp"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <sstream>
#include <string_view>
#include <utility>

#include "platform/process/process_launcher.hpp"

namespace lumenary::vision_bench {

namespace {

using platform::PlatformError;
using platform::PlatformOutcome;

constexpr std::string_view launcherDomain = "ProcessLauncher";

// The ligatures U+FB00 to U+FB04 in UTF-8 (EF AC 80 to EF AC 84), by their
// last byte, and the letters they join.
constexpr std::pair<char, std::string_view> ligatures[] = {
    {'\x80', "ff"}, {'\x81', "fi"}, {'\x82', "fl"}, {'\x83', "ffi"}, {'\x84', "ffl"}};

std::string_view ligatureAt(const std::string& line, std::size_t at) {
    if (at + 2 < line.size() && line[at] == '\xEF' && line[at + 1] == '\xAC') {
        for (const auto& [last, letters] : ligatures) {
            if (line[at + 2] == last) {
                return letters;
            }
        }
    }
    return {};
}

// What `program` wrote on its standard output, run to its end; fails when
// it cannot be started, does not end well, or writes more than a page
// holds.
PlatformOutcome<std::string> outputOf(const std::string& program, std::vector<std::string> arguments) {
    platform::ProcessLaunch launch;
    launch.executable = program;
    launch.arguments = std::move(arguments);
    launch.standardOutputLimit = 4 * 1024 * 1024;
    launch.deadline = std::chrono::seconds(60);
    auto run = platform::ProcessLauncher().run(launch);
    if (!run) {
        return PlatformError{run.error().domain, run.error().code,
                             program + " could not be started (poppler-utils, which scripts/setup installs): " +
                                 run.error().description};
    }
    const platform::ProcessRun& ran = run.value();
    std::string failure;
    if (ran.deadlinePassed || !ran.exit) {
        failure = "it did not end within a minute";
    } else if (ran.exit->kind != platform::ProcessExit::Kind::exited || ran.exit->exitStatus != 0) {
        failure = ran.exit->description();
    } else if (ran.standardOutput.truncated) {
        failure = "it wrote more than a page holds";
    } else {
        return ran.standardOutput.bytes;
    }
    std::string command = program;
    for (const std::string& argument : launch.arguments) {
        command += " " + argument;
    }
    return PlatformError{"vision_bench", 4, command + " failed: " + failure + "; it said: " + ran.standardError.bytes};
}

std::string pageDescription(const RealImage& page) {
    return page.name + ", page " + std::to_string(page.pdfPage);
}

}  // namespace

std::string typesetLine(const std::string& line) {
    std::string text;
    bool space = false;
    for (std::size_t at = 0; at < line.size();) {
        if (std::isspace(static_cast<unsigned char>(line[at])) != 0) {
            space = !text.empty();
            ++at;
            continue;
        }
        if (space) {
            text += ' ';
            space = false;
        }
        if (const std::string_view letters = ligatureAt(line, at); !letters.empty()) {
            text += letters;
            at += 3;
        } else {
            text += line[at++];
        }
    }
    return text;
}

std::vector<std::string> typesetLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream rows(text);
    for (std::string row; std::getline(rows, row);) {
        if (std::string line = typesetLine(row); !line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

PlatformOutcome<std::vector<std::string>> typesetPageLines(const RealImage& page) {
    const std::string number = std::to_string(page.pdfPage);
    auto text = outputOf("pdftotext", {"-layout", "-f", number, "-l", number, page.path.string(), "-"});
    if (!text) {
        return text.error();
    }
    auto lines = typesetLines(text.value());
    if (lines.empty()) {
        return PlatformError{"vision_bench", 5, pageDescription(page) + " holds no text pdftotext finds"};
    }
    return lines;
}

PlatformOutcome<std::filesystem::path> renderedTypesetPage(const RealImage& page, int dotsPerInch,
                                                           const std::filesystem::path& png) {
    const std::string number = std::to_string(page.pdfPage);
    // pdftoppm names its file itself: the prefix given, then ".png".
    auto drawn = outputOf("pdftoppm", {"-r", std::to_string(dotsPerInch), "-f", number, "-l", number, "-singlefile",
                                       "-png", page.path.string(), (png.parent_path() / png.stem()).string()});
    if (!drawn) {
        return drawn.error();
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(png, error) || std::filesystem::file_size(png, error) == 0) {
        return PlatformError{"vision_bench", 6, "pdftoppm left no " + png.string() + " for " + pageDescription(page)};
    }
    return png;
}

bool popplerMissing(const PlatformError& error) {
    return error.domain == launcherDomain && error.code == ENOENT;
}

}  // namespace lumenary::vision_bench
