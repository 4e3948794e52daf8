#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace lumenary::testing {

// Waits for `condition` to hold, checking it every few milliseconds;
// false when the deadline passes first.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The process's state letter from /proc ('R', 'S', 'Z' for a zombie, ...);
// absent once it is gone (reaped).
inline std::optional<char> processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
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

inline bool processIsAlive(pid_t pid) {
    const auto state = processState(pid);
    return state && *state != 'Z' && *state != 'X';
}

// Gone from the process table: ended and reaped.
inline bool processIsGone(pid_t pid) {
    return !processState(pid).has_value();
}

// This process's open descriptors.
inline std::set<int> openDescriptors() {
    std::set<int> descriptors;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
        descriptors.insert(std::stoi(entry.path().filename().string()));
    }
    return descriptors;
}

// The descriptors a child of this process would inherit.
inline std::set<int> inheritableDescriptors() {
    std::set<int> inheritable;
    for (const int descriptor : openDescriptors()) {
        const int flags = ::fcntl(descriptor, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            inheritable.insert(descriptor);
        }
    }
    return inheritable;
}

}  // namespace lumenary::testing
