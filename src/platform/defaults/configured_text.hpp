#pragma once

#include <string>
#include <string_view>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

// A setting the user may choose: the environment variable when it is set
// and not empty, else the defaults text under `defaultsKey` when not empty,
// else `builtIn`.
std::string configuredText(std::string_view environmentVariable, std::string_view defaultsKey,
                           const DefaultsStore& defaults, std::string builtIn);

}  // namespace lumenary::platform
