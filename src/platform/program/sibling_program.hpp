#pragma once

#include <string>
#include <string_view>

namespace lumenary::platform {

// The path of the helper program `name` in the running executable's folder,
// where the build and the installation put the workers. When the running
// executable was rebuilt while it runs, the one beside it now is the
// rebuilt one, which speaks the same protocol.
std::string siblingProgramPath(std::string_view name);

}  // namespace lumenary::platform
