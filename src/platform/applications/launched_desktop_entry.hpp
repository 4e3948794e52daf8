#pragma once

#include <sys/types.h>

#include <string>

namespace lumenary::platform {

// The desktop-entry id ("org.example.Editor.desktop") of the entry that
// launched process `pid`, from the GIO_LAUNCHED_DESKTOP_FILE its launcher
// left in its environment; empty when there is none or the environment
// cannot be read (another user's process, one that has ended).
std::string launchedDesktopEntryIdentifier(pid_t pid);

// The id of the desktop entry at `path`: its path below the nearest
// "applications" folder with every "/" turned into "-", else its file name.
std::string desktopEntryIdentifier(const std::string& path);

}  // namespace lumenary::platform
