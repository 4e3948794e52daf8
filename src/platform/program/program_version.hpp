#pragma once

#include <string>

namespace lumenary::platform {

// The program's version ("0.1.0"), as the build names it.
std::string programVersion();

// "Lumenary/<version>": how the program names itself to web services.
std::string programUserAgent();

}  // namespace lumenary::platform
