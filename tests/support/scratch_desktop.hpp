#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::testing {

// A desktop without a desktop environment for xdg-open: its generic mode,
// a display named but never used, no browser to fall back on, and link
// handlers only from temporary folders. `installHandler` registers a tiny
// handler for mailto: and https: links (and for the file types asked for)
// that writes the one argument it received to a file and, when asked, keeps
// running until released.
class ScratchDesktop {
public:
    ScratchDesktop() {
        environment_.set("XDG_CURRENT_DESKTOP", "X-Generic");
        environment_.set("XDG_DATA_HOME", (folder_.path() / "data").string());
        environment_.set("XDG_DATA_DIRS", (folder_.path() / "no-system-data").string());
        environment_.set("XDG_CONFIG_HOME", (folder_.path() / "config").string());
        environment_.set("XDG_CONFIG_DIRS", (folder_.path() / "no-system-config").string());
        environment_.set("DISPLAY", ":75");
        environment_.set("WAYLAND_DISPLAY", std::nullopt);
        environment_.set("BROWSER", (folder_.path() / "no-browser").string());
    }

    static bool hasXdgOpen() { return std::filesystem::exists("/usr/bin/xdg-open"); }

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
    static void writeFile(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::filesystem::path receivedFile() const { return folder_.path() / "received"; }
    std::filesystem::path releaseFile() const { return folder_.path() / "release"; }

    TemporaryDirectory folder_;
    ScopedEnvironment environment_;
};

}  // namespace lumenary::testing
