#pragma once

#include <filesystem>

namespace lumenary::platform {

// The folder of the program's own files: $LUMENARY_CONFIG_DIR when set, else
// $XDG_CONFIG_HOME/lumenary, else ~/.config/lumenary. Not created here.
std::filesystem::path configDirectory();

}  // namespace lumenary::platform
