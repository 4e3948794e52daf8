#pragma once

// Whether a process still runs, read from /proc.
#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

namespace lumenary::testing {

// The state letter ('R', 'S', 'Z' for a zombie, ...) in a /proc stat file;
// absent when there is none to read.
inline std::optional<char> stateIn(const std::filesystem::path& statFile) {
    std::ifstream stat(statFile);
    std::string line;
    if (!std::getline(stat, line)) {
        return std::nullopt;
    }
    // The name in parentheses may hold spaces; the state follows its end.
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= line.size()) {
        return std::nullopt;
    }
    return line[nameEnd + 2];
}

// The state of the process's first thread; absent once it is gone (reaped).
inline std::optional<char> processState(pid_t pid) {
    return stateIn("/proc/" + std::to_string(pid) + "/stat");
}

// While any of its threads runs: the first thread of a process that ends
// shows as a zombie while its other threads are still being torn down, and
// only then has the process ended for its parent.
inline bool processIsAlive(pid_t pid) {
    std::error_code unreadable;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", unreadable)) {
        const auto state = stateIn(task.path() / "stat");
        if (state && *state != 'Z' && *state != 'X') {
            return true;
        }
    }
    return false;
}

// Gone from the process table: ended and reaped.
inline bool processIsGone(pid_t pid) {
    return !processState(pid).has_value();
}

}  // namespace lumenary::testing
