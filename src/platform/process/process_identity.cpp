#include "platform/process/process_identity.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

namespace {

// The fields of /proc/<pid>/stat after the command name, which is in
// parentheses and may itself hold spaces and parentheses.
constexpr std::size_t stateField = 0;
constexpr std::size_t startTimeField = 19;

std::optional<std::string> statLine(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    system::OwnedDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) {
        return std::nullopt;
    }
    // The line is a few hundred bytes; a command name is at most 64.
    char buffer[1024];
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count <= 0) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(count));
}

std::optional<std::string_view> field(std::string_view fields, std::size_t index) {
    for (std::size_t current = 0;; ++current) {
        const auto start = fields.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            return std::nullopt;
        }
        fields.remove_prefix(start);
        const auto end = std::min(fields.find_first_of(" \n"), fields.size());
        if (current == index) {
            return fields.substr(0, end);
        }
        fields.remove_prefix(end);
    }
}

}  // namespace

std::optional<ProcessIdentity> runningProcess(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto line = statLine(pid);
    if (!line) {
        // Without /proc a process is known by its id alone.
        const bool alive = ::kill(pid, 0) == 0 || errno == EPERM;
        if (alive && ::access("/proc/self/stat", R_OK) != 0) {
            return ProcessIdentity{.pid = pid, .startTime = 0};
        }
        return std::nullopt;
    }
    const auto nameEnd = line->rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    const std::string_view fields = std::string_view(*line).substr(nameEnd + 1);
    const auto state = field(fields, stateField);
    const auto started = field(fields, startTimeField);
    if (!state || !started || *state == "Z" || *state == "X") {
        return std::nullopt;
    }
    ProcessIdentity process{.pid = pid, .startTime = 0};
    const auto parsed = std::from_chars(started->data(), started->data() + started->size(), process.startTime);
    if (parsed.ec != std::errc() || parsed.ptr != started->data() + started->size()) {
        return std::nullopt;
    }
    return process;
}

ProcessIdentity currentProcess() {
    return runningProcess(::getpid()).value_or(ProcessIdentity{.pid = ::getpid(), .startTime = 0});
}

bool isRunning(const ProcessIdentity& process) {
    return runningProcess(process.pid) == process;
}

}  // namespace lumenary::platform
