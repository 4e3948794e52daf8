#include "support/private_session_bus.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace lumenary::testing {

namespace {

std::optional<std::string> programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<PrivateSessionBus> PrivateSessionBus::start() {
    const auto daemon = programOnPath("dbus-daemon");
    if (!daemon) {
        return nullptr;
    }
    return std::make_unique<PrivateSessionBus>(*daemon);
}

PrivateSessionBus::PrivateSessionBus(const std::string& daemonPath)
    // Its standard error would only say that it may not raise its file
    // limit.
    : daemon_({daemonPath, "--session", "--nofork", "--print-address"}, -1, "/dev/null", true) {
    auto line = daemon_.readLine(std::chrono::seconds(10));
    if (!line || line->empty()) {
        throw std::runtime_error("dbus-daemon printed no address");
    }
    address_ = *line;
}

PrivateSessionBus::~PrivateSessionBus() {
    // The services the bus started (an accessibility bus, say) share its
    // process group; the daemon itself is reaped as the child process goes.
    ::kill(-daemon_.pid(), SIGKILL);
}

}  // namespace lumenary::testing
