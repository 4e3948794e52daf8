#pragma once

#include <filesystem>

namespace lumenary::platform {

// The user's home folder: $HOME when set and not empty, else the password
// database's entry for the real user, else the working folder (a bare
// service account has nowhere else the user can see).
std::filesystem::path homeDirectory();

}  // namespace lumenary::platform
