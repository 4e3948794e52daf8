#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

// A folder the user chose for their data: the environment variable when it
// is set and not empty, else the defaults text under `defaultsKey` when not
// empty, else nothing. A leading "~/" stands for the home folder.
std::optional<std::filesystem::path> configuredDataLocation(std::string_view environmentVariable,
                                                            std::string_view defaultsKey,
                                                            const DefaultsStore& defaults);

// The configured folder, else $XDG_DATA_HOME/<name>, else
// ~/.local/share/<name>.
std::filesystem::path dataLocation(std::string_view environmentVariable, std::string_view defaultsKey,
                                   const DefaultsStore& defaults, std::string_view name);

}  // namespace lumenary::platform
