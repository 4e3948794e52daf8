#include "platform/defaults/tilde_expansion.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/defaults/home_directory.hpp"

namespace lumenary::platform {

namespace {

// The reentrant lookup: other threads may be reading the password database.
std::optional<std::string> homeOfUser(const std::string& user) {
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
    while (buffer.size() <= 1024 * 1024) {
        passwd entry{};
        passwd* found = nullptr;
        const int status = getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
        if (status == ERANGE) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0 || found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') {
            return std::nullopt;
        }
        return std::string(found->pw_dir);
    }
    return std::nullopt;
}

}  // namespace

std::string tildeExpandedPath(const std::string& path) {
    if (!path.starts_with('~')) {
        return path;
    }
    const auto slash = path.find('/');
    const auto user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    const auto rest = slash == std::string::npos ? std::string() : path.substr(slash);

    auto home = user.empty() ? std::optional<std::string>(homeDirectory().string()) : homeOfUser(user);
    if (!home) {
        return path;
    }
    // A home of "/" (or one written with a trailing slash) must not double
    // the slash that starts the rest.
    while (home->size() > 1 && home->ends_with('/')) {
        home->pop_back();
    }
    if (*home == "/") {
        return rest.empty() ? *home : rest;
    }
    return *home + rest;
}

}  // namespace lumenary::platform
