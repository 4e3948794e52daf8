#include "platform/defaults/home_directory.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace lumenary::platform {

namespace {

// The reentrant lookup: other threads may be reading the password database.
std::filesystem::path passwordDatabaseHome() {
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
    // A very long entry asks for a bigger buffer; a megabyte is beyond any sane one.
    while (buffer.size() <= 1024 * 1024) {
        passwd entry{};
        passwd* found = nullptr;
        const int status = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (status == ERANGE) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0 || found == nullptr || found->pw_dir == nullptr) {
            return {};
        }
        return found->pw_dir;
    }
    return {};
}

}  // namespace

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (auto home = passwordDatabaseHome(); !home.empty()) {
        return home;
    }
    return std::filesystem::current_path();
}

}  // namespace lumenary::platform
