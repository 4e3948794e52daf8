#include "platform/defaults/config_directory.hpp"

#include <cstdlib>
#include <string>

#include "platform/defaults/home_directory.hpp"

namespace lumenary::platform {

namespace {

std::string configEnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::filesystem::path userConfigHome() {
    // The base directory rules ignore a relative XDG_CONFIG_HOME.
    if (std::filesystem::path xdg = configEnvironmentValue("XDG_CONFIG_HOME"); !xdg.empty() && xdg.is_absolute()) {
        return xdg;
    }
    return homeDirectory() / ".config";
}

std::filesystem::path configDirectory() {
    if (auto explicitFolder = configEnvironmentValue("LUMENARY_CONFIG_DIR"); !explicitFolder.empty()) {
        return explicitFolder;
    }
    return userConfigHome() / "lumenary";
}

}  // namespace lumenary::platform
