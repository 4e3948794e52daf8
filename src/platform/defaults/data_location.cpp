#include "platform/defaults/data_location.hpp"

#include <cstdlib>
#include <string>

#include "platform/defaults/home_directory.hpp"

namespace lumenary::platform {

namespace {

std::string dataEnvironmentValue(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    return value ? std::string(value) : std::string();
}

std::filesystem::path expandedHome(const std::string& folder) {
    if (folder.starts_with("~/")) {
        return homeDirectory() / folder.substr(2);
    }
    return folder;
}

}  // namespace

std::optional<std::filesystem::path> configuredDataLocation(std::string_view environmentVariable,
                                                            std::string_view defaultsKey,
                                                            const DefaultsStore& defaults) {
    if (auto folder = dataEnvironmentValue(environmentVariable); !folder.empty()) {
        return expandedHome(folder);
    }
    if (const auto stored = defaults.object(defaultsKey)) {
        if (const auto* folder = stored->stringValue(); folder != nullptr && !folder->empty()) {
            return expandedHome(*folder);
        }
    }
    return std::nullopt;
}

std::filesystem::path dataLocation(std::string_view environmentVariable, std::string_view defaultsKey,
                                   const DefaultsStore& defaults, std::string_view name) {
    if (auto configured = configuredDataLocation(environmentVariable, defaultsKey, defaults)) {
        return *configured;
    }
    // The base directory rules ignore a relative XDG_DATA_HOME.
    if (std::filesystem::path xdg = dataEnvironmentValue("XDG_DATA_HOME"); !xdg.empty() && xdg.is_absolute()) {
        return xdg / name;
    }
    return homeDirectory() / ".local" / "share" / name;
}

}  // namespace lumenary::platform
