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

#include "support/process_state.hpp"

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
