#include "platform/config_directory.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace lumenary::platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::filesystem::path homeDirectory() {
    if (auto home = environment("HOME"); !home.empty()) {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    // No home at all (a bare service account): the working folder is the
    // only place left that the user can see.
    return std::filesystem::current_path();
}

}  // namespace

std::filesystem::path configDirectory() {
    if (auto explicitFolder = environment("LUMENARY_CONFIG_DIR"); !explicitFolder.empty()) {
        return explicitFolder;
    }
    // The base directory rules ignore a relative XDG_CONFIG_HOME.
    if (std::filesystem::path xdg = environment("XDG_CONFIG_HOME"); !xdg.empty() && xdg.is_absolute()) {
        return xdg / "lumenary";
    }
    return homeDirectory() / ".config" / "lumenary";
}

}  // namespace lumenary::platform
