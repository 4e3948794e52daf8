#include "platform/program_version.hpp"

namespace lumenary::platform {

std::string programVersion() { return LUMENARY_VERSION; }

std::string programUserAgent() { return "Lumenary/" + programVersion(); }

}  // namespace lumenary::platform
