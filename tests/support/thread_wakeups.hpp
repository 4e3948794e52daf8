#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <thread>

namespace lumenary::testing {

// Per thread of a process (by thread id): its name and how many times it
// has gone to sleep and been woken (its voluntary context switches).
struct ThreadSwitches {
    std::string name;
    std::uint64_t voluntary = 0;
};
using ThreadSwitchesByID = std::map<pid_t, ThreadSwitches>;

// The threads of `pid` now; empty once the process is gone.
inline ThreadSwitchesByID threadSwitches(pid_t pid) {
    ThreadSwitchesByID threads;
    std::error_code failure;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", failure)) {
        std::ifstream status(task.path() / "status");
        ThreadSwitches thread;
        std::string line;
        while (std::getline(status, line)) {
            if (line.starts_with("Name:")) {
                thread.name = line.substr(line.find_first_not_of(" \t", 5));
            } else if (line.starts_with("voluntary_ctxt_switches:")) {
                thread.voluntary = std::stoull(line.substr(24));
            }
        }
        threads[static_cast<pid_t>(std::stol(task.path().filename().string()))] = thread;
    }
    return threads;
}

// How many times threads woke between two looks: each thread's new
// switches, a thread that began counting its own, and one that ended
// counting once (it woke to end).
inline std::uint64_t wakeupsBetween(const ThreadSwitchesByID& before, const ThreadSwitchesByID& after,
                                    std::string* wakers = nullptr) {
    std::uint64_t total = 0;
    const auto count = [&](const std::string& name, std::uint64_t wakeups) {
        total += wakeups;
        if (wakers && wakeups > 0) {
            *wakers += name + " ×" + std::to_string(wakeups) + " ";
        }
    };
    for (const auto& [id, thread] : after) {
        const auto earlier = before.find(id);
        count(thread.name, earlier == before.end() ? thread.voluntary + 1 : thread.voluntary - earlier->second.voluntary);
    }
    for (const auto& [id, thread] : before) {
        if (!after.contains(id)) {
            count(thread.name + " (ended)", 1);
        }
    }
    return total;
}

// Whether some stretch of `quiet` passes, within `deadline` from now, in
// which no thread of `pid` wakes. Work that settles after a request ends,
// so a quiet stretch comes; a timer with a period shorter than `quiet`
// never lets one pass. `wakers` names the threads that woke last.
inline bool fallsAsleep(pid_t pid, std::chrono::milliseconds quiet, std::chrono::milliseconds deadline,
                        std::string* wakers = nullptr) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    auto stretchStart = std::chrono::steady_clock::now();
    auto threads = threadSwitches(pid);
    while (!threads.empty() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto now = std::chrono::steady_clock::now();
        auto latest = threadSwitches(pid);
        std::string woke;
        if (wakeupsBetween(threads, latest, &woke) > 0) {
            if (wakers) {
                *wakers = woke;
            }
            threads = std::move(latest);
            stretchStart = now;
        } else if (now - stretchStart >= quiet) {
            return true;
        }
    }
    return false;
}

}  // namespace lumenary::testing
