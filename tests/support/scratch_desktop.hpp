#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::testing {

// How xdg-mime tells a file's type without a desktop environment: with
// `mimetype` (libfile-mimeinfo-perl, which Debian recommends with
// xdg-utils) where it answers, else with `file`.
enum class FileTypeReader { Mimetype, File };

// A desktop without a desktop environment for xdg-open: its generic mode,
// a display named but never used, no browser to fall back on, and link
// handlers only from temporary folders. The system's MIME type definitions
// stay visible (`mimetype` knows no type without them), its applications
// and defaults do not. `installHandler` registers a tiny handler for
// mailto: and https: links (and for the file types asked for) that writes
// the one argument it received to a file and, when asked, keeps running
// until released.
class ScratchDesktop {
public:
    // `reader` File hides `mimetype` from xdg-mime; Mimetype, or none,
    // leaves the machine's as it is.
    explicit ScratchDesktop(std::optional<FileTypeReader> reader = std::nullopt) {
        environment_.set("XDG_CURRENT_DESKTOP", "X-Generic");
        environment_.set("XDG_DATA_HOME", (folder_.path() / "data").string());
        environment_.set("XDG_DATA_DIRS", systemTypesOnly());
        environment_.set("XDG_CONFIG_HOME", (folder_.path() / "config").string());
        environment_.set("XDG_CONFIG_DIRS", (folder_.path() / "no-system-config").string());
        environment_.set("DISPLAY", ":75");
        environment_.set("WAYLAND_DISPLAY", std::nullopt);
        environment_.set("BROWSER", (folder_.path() / "no-browser").string());
        if (reader == FileTypeReader::File) {
            // xdg-mime takes `mimetype` only when its --version succeeds.
            const auto standIn = folder_.path() / "no-mimetype" / "mimetype";
            writeFile(standIn, "#!/bin/sh\nexit 127\n");
            ::chmod(standIn.c_str(), 0755);
            const char* path = std::getenv("PATH");
            environment_.set("PATH", standIn.parent_path().string() + ":" + (path ? path : "/usr/bin:/bin"));
        }
    }

    static bool hasXdgOpen() { return std::filesystem::exists("/usr/bin/xdg-open"); }

    // Why a desktop reading file types that way cannot be had here, if it
    // cannot.
    static std::optional<std::string> unavailable(FileTypeReader reader) {
        if (!hasXdgOpen()) return "xdg-utils is not installed";
        if (reader == FileTypeReader::Mimetype && std::system("mimetype --version >/dev/null 2>&1") != 0) {
            return "mimetype is not installed (it comes with the libfile-mimeinfo-perl package)";
        }
        return std::nullopt;
    }

    void installHandler(bool waitsForRelease = false, const std::vector<std::string>& fileTypes = {}) {
        const auto handler = folder_.path() / "handler.sh";
        std::string script = "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + receivedFile().string() + "'\n";
        if (waitsForRelease) {
            // It also ends once the folder is gone: a release written just
            // before the folder is removed may never be seen, and a handler
            // left polling would outlive the test run.
            script += "while [ ! -e '" + releaseFile().string() + "' ] && [ -d '" + folder_.path().string() +
                      "' ]; do sleep 0.02; done\n";
        }
        writeFile(handler, script);
        ::chmod(handler.c_str(), 0755);
        std::string types = "x-scheme-handler/mailto;x-scheme-handler/https;";
        std::string defaults =
            "[Default Applications]\nx-scheme-handler/mailto=lumenary-test-handler.desktop\n"
            "x-scheme-handler/https=lumenary-test-handler.desktop\n";
        for (const auto& type : fileTypes) {
            types += type + ";";
            defaults += type + "=lumenary-test-handler.desktop\n";
        }
        writeFile(folder_.path() / "data/applications/lumenary-test-handler.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test handler\nExec=" + handler.string() +
                      " %u\nMimeType=" + types + "\n");
        writeFile(folder_.path() / "data/applications/mimeapps.list", defaults);
    }

    void withoutDisplay() { environment_.set("DISPLAY", std::nullopt); }
    void releaseHandler() { writeFile(releaseFile(), ""); }
    void forgetReceived() { std::filesystem::remove(receivedFile()); }
    bool handlerRan() const { return std::filesystem::exists(receivedFile()); }

    // The argument the handler received, once it wrote it; empty past the
    // deadline.
    std::string receivedArgument(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        return receivedWithin(timeout).value_or("");
    }
    // The same, absent past the deadline: tells a handler started without
    // an argument from one that never ran.
    std::optional<std::string> receivedWithin(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream file(receivedFile());
            std::stringstream text;
            text << file.rdbuf();
            if (auto argument = text.str(); !argument.empty() && argument.back() == '\n') {
                argument.pop_back();
                return argument;
            }
            std::this_thread::yield();
        }
        return std::nullopt;
    }

private:
    // The system's data folders, each seen only through its mime/ folder.
    std::string systemTypesOnly() const {
        const char* dirs = std::getenv("XDG_DATA_DIRS");
        std::stringstream systemDirs(dirs && *dirs ? dirs : "/usr/local/share:/usr/share");
        // Never an empty list, which would stand for the system's folders.
        std::string visible = (folder_.path() / "no-system-data").string();
        std::string dir;
        for (int index = 0; std::getline(systemDirs, dir, ':');) {
            if (dir.empty() || !std::filesystem::is_directory(std::filesystem::path(dir) / "mime")) continue;
            const auto types = folder_.path() / ("system-types-" + std::to_string(index++));
            std::filesystem::create_directories(types);
            std::filesystem::create_directory_symlink(std::filesystem::path(dir) / "mime", types / "mime");
            visible += ":" + types.string();
        }
        return visible;
    }

    static void writeFile(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::filesystem::path receivedFile() const { return folder_.path() / "received"; }
    std::filesystem::path releaseFile() const { return folder_.path() / "release"; }

    TemporaryDirectory folder_;
    ScopedEnvironment environment_;
};

inline void PrintTo(FileTypeReader reader, std::ostream* out) {
    *out << (reader == FileTypeReader::Mimetype ? "Mimetype" : "File");
}

// Runs a parameterised test once for each way of reading file types, each
// named as PrintTo writes it.
inline auto everyFileTypeReader() {
    return ::testing::Values(FileTypeReader::Mimetype, FileTypeReader::File);
}

}  // namespace lumenary::testing
