#pragma once

#include <string>

namespace lumenary::platform {

// The path with a leading "~" or "~user" replaced by the home folder of the
// current or the named user, as a shell would read it; every other path,
// and one naming a user the password database does not know, comes back
// unchanged (a relative path stays relative).
std::string tildeExpandedPath(const std::string& path);

}  // namespace lumenary::platform
