#pragma once

#include <filesystem>

namespace lumenary::platform {

// $XDG_CONFIG_HOME when it is absolute (the base directory rules ignore a
// relative one), else ~/.config.
std::filesystem::path userConfigHome();

// The folder of the program's own files: $LUMENARY_CONFIG_DIR when set, else
// $XDG_CONFIG_HOME/lumenary, else ~/.config/lumenary. Not created here.
std::filesystem::path configDirectory();

}  // namespace lumenary::platform
