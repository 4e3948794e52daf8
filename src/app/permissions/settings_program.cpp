#include "app/permissions/settings_program.hpp"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/process/process_launcher.hpp"

namespace lumenary::app {

namespace {

// A settings program that fails (an unknown page, no display) says so
// within this time; one still running is taken as shown.
constexpr std::chrono::milliseconds startWait{2'000};

bool installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const auto end = rest.find(':');
        const std::string_view folder = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (folder.empty()) {
            continue;
        }
        const auto candidate = std::filesystem::path(folder) / program;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate, ignored) && ::access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

bool desktopIs(std::string_view desktops, std::string_view wanted) {
    while (!desktops.empty()) {
        const auto end = desktops.find(':');
        if (desktops.substr(0, end) == wanted) {
            return true;
        }
        desktops = end == std::string_view::npos ? std::string_view() : desktops.substr(end + 1);
    }
    return false;
}

}  // namespace

std::optional<std::vector<std::string>> accessibilitySettingsProgram() {
    const char* current = std::getenv("XDG_CURRENT_DESKTOP");
    const std::string_view desktops = current != nullptr ? current : "";
    std::vector<std::string> program;
    if (desktopIs(desktops, "GNOME") || desktopIs(desktops, "Unity") || desktopIs(desktops, "Budgie")) {
        program = {"gnome-control-center", "universal-access"};
    } else if (desktopIs(desktops, "KDE")) {
        program = {"systemsettings", "kcm_access"};
    } else {
        return std::nullopt;
    }
    if (!installed(program.front())) {
        return std::nullopt;
    }
    return program;
}

std::optional<platform::PlatformError> startSettingsProgram(const std::vector<std::string>& program) {
    if (program.empty()) {
        return platform::PlatformError{"PermissionManager", 400, "No settings program was named"};
    }
    platform::ProcessLaunch launch{.executable = program.front(),
                                   .arguments = std::vector<std::string>(program.begin() + 1, program.end()),
                                   .standardInput = std::nullopt,
                                   .standardOutputLimit = 0,
                                   .standardErrorLimit = 0,
                                   .deadline = startWait,
                                   .atDeadline = platform::ProcessLaunch::AtDeadline::leaveRunning};
    const auto run = platform::ProcessLauncher().run(launch);
    if (!run) {
        return run.error();
    }
    const auto& exit = run.value().exit;
    if (!exit || (exit->kind == platform::ProcessExit::Kind::exited && exit->exitStatus == 0)) {
        return std::nullopt;
    }
    if (exit->kind == platform::ProcessExit::Kind::killedBySignal) {
        return platform::PlatformError{"PermissionManager", 500,
                                       program.front() + " was ended by signal " + std::to_string(exit->signalNumber)};
    }
    return platform::PlatformError{"PermissionManager", 500,
                                   program.front() + " exited with status " + std::to_string(exit->exitStatus)};
}

}  // namespace lumenary::app
