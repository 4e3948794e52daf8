#pragma once

#include <string>

namespace lumenary::platform {

// The update check of a build that has no update feed and reaches no network
// beyond the loopback: nothing is fetched, nothing runs at start, and it
// never claims the program is up to date. It names the version the build was
// made from and where a newer one comes from.
class Updater {
public:
    // "v" and the build's version, as the settings row shows it.
    std::string versionText() const;

    // What the panel shows when the user asks for an update check.
    std::string checkForUpdatesMessage() const;
};

}  // namespace lumenary::platform
