#include "platform/program/program_version.hpp"

namespace lumenary::platform {

// The version is shown to users and sent to services: a build without one is
// a broken build, not an empty text.
static_assert(sizeof(LUMENARY_VERSION) > 1, "the build must name the program's version");

std::string programVersion() { return LUMENARY_VERSION; }

std::string programUserAgent() { return "Lumenary/" + programVersion(); }

}  // namespace lumenary::platform
