#include "vision_text_real_cases.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

#include "platform/process/process_launcher.hpp"

namespace lumenary::vision_bench {

namespace {

using platform::PlatformError;
using platform::PlatformOutcome;

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) {
        fields.push_back(field);
    }
    // getline drops a last empty field; an empty value is an error below.
    if (!line.empty() && line.back() == '\t') {
        fields.emplace_back();
    }
    return fields;
}

bool isSha256(std::string_view text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// A path inside a package the fetch may write under its folder: relative,
// with no step up or aside.
bool isMemberPath(const std::string& path) {
    if (path.empty() || path.front() == '/') {
        return false;
    }
    const std::filesystem::path parts(path);
    return std::none_of(parts.begin(), parts.end(),
                        [](const std::filesystem::path& part) { return part == ".." || part == "." || part.empty(); });
}

// A page number as a manifest writes it: digits alone, from 1, and not so
// many that no manual has the page.
std::optional<int> pageNumberOf(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.front() == '0' ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoi(text);
}

}  // namespace

PlatformOutcome<RealManifest> readRealManifest(const std::filesystem::path& path,
                                               const std::filesystem::path& fetched) {
    std::ifstream file(path);
    if (!file) {
        return PlatformError{"vision_bench", 1, "cannot open the manifest " + path.string()};
    }
    RealManifest manifest;
    bool named = false;
    std::optional<std::string> package;  // <package>_<version>, the fetch's folder
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto fields = fieldsOf(line);
        const auto fail = [&](const std::string& why) {
            return PlatformError{"vision_bench", 2, path.string() + ":" + std::to_string(number) + ": " + why};
        };
        const std::string& kind = fields.front();
        if (std::any_of(fields.begin(), fields.end(), [](const std::string& field) { return field.empty(); })) {
            return fail("an empty field (fields are parted by one tab)");
        }
        if (kind == "program") {
            if (named || fields.size() != 2) {
                return fail(named ? "a second program line" : "a program line holds the program's name alone");
            }
            manifest.program = fields[1];
            named = true;
            continue;
        }
        if (!named) {
            return fail("the program line must come first");
        }
        if (kind == "language") {
            if (fields.size() != 2) {
                return fail("a language line holds one language tag (\"fr-FR\")");
            }
            manifest.languages = {fields[1]};
        } else if (kind == "package") {
            if (fields.size() != 4 || !isSha256(fields[3])) {
                return fail("a package line holds the package, its exact version and the .deb's sha256");
            }
            package = fields[1] + "_" + fields[2];
        } else if (kind == "screen" || kind == "page" || kind == "photo") {
            const bool screen = kind == "screen";
            const std::size_t first = screen ? 3 : 2;
            if (!package) {
                return fail("a " + kind + " line before any package line");
            }
            if (!isMemberPath(fields[1])) {
                return fail("not a path inside a package: " + fields[1]);
            }
            if (screen && fields.size() > 2 && fields[2] != "light" && fields[2] != "dark") {
                return fail("a screen is light or dark, not " + fields[2]);
            }
            if (fields.size() <= first) {
                return fail("a " + kind + " line without " + (screen ? "values" : "lines"));
            }
            manifest.images.push_back({screen           ? RealImage::Kind::screen
                                       : kind == "page" ? RealImage::Kind::page
                                                        : RealImage::Kind::photo,
                                       fields[1],
                                       fetched / *package / fields[1],
                                       {fields.begin() + static_cast<std::ptrdiff_t>(first), fields.end()}});
        } else if (kind == "pdf") {
            if (!package) {
                return fail("a pdf line before any package line");
            }
            const auto page = fields.size() == 3 ? pageNumberOf(fields[2]) : std::nullopt;
            if (!page) {
                return fail("a pdf line holds the PDF's path inside its package and one page number, from 1");
            }
            if (!isMemberPath(fields[1])) {
                return fail("not a path inside a package: " + fields[1]);
            }
            manifest.images.push_back({RealImage::Kind::pdfPage, fields[1], fetched / *package / fields[1], {}, *page});
        } else if (kind == "installed") {
            if (fields.size() < 3 || fields[1].front() != '/') {
                return fail("an installed line holds an absolute path and the page's lines");
            }
            manifest.images.push_back(
                {RealImage::Kind::page, fields[1], fields[1], {fields.begin() + 2, fields.end()}});
        } else {
            return fail("unknown line kind \"" + kind + "\"");
        }
    }
    if (!named) {
        return PlatformError{"vision_bench", 2, path.string() + ": no program line"};
    }
    return manifest;
}

std::vector<std::filesystem::path> realManifests(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> manifests;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".tsv" && entry.is_regular_file(error)) {
            manifests.push_back(entry.path());
        }
    }
    std::sort(manifests.begin(), manifests.end());
    return manifests;
}

PlatformOutcome<int> fetchRealImages(const std::filesystem::path& script, const std::filesystem::path& fetched,
                                     const std::vector<std::filesystem::path>& manifests) {
    platform::ProcessLaunch launch;
    launch.executable = script.string();
    launch.arguments.push_back(fetched.string());
    for (const auto& manifest : manifests) {
        launch.arguments.push_back(manifest.string());
    }
    // The packages are a few hundred megabytes on a slow mirror.
    launch.deadline = std::chrono::hours(1);
    auto run = platform::ProcessLauncher().run(launch);
    if (!run) {
        return run.error();
    }
    std::fputs(run.value().standardError.bytes.c_str(), stderr);
    if (run.value().deadlinePassed || !run.value().exit ||
        run.value().exit->kind != platform::ProcessExit::Kind::exited) {
        const std::string how = run.value().exit ? run.value().exit->description() : "it did not end within an hour";
        return PlatformError{"vision_bench", 3, script.string() + " did not finish: " + how};
    }
    return run.value().exit->exitStatus;
}

}  // namespace lumenary::vision_bench
