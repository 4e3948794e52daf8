#pragma once

#include "logging/console.hpp"
#include "platform/applications/login_item.hpp"

namespace lumenary::app {

// The launch-at-login switch of the settings page. What it reports is what
// the autostart entry says, read again on demand, never what was last asked
// for: a failed write or removal prints one line and leaves the switch
// showing the entry as it is. Used from the panel's thread only.
class LaunchAtLoginManager {
public:
    explicit LaunchAtLoginManager(platform::LoginItem item = platform::LoginItem(),
                                  logging::Console console = logging::Console::standardError("[LaunchAtLogin] "));

    // The one manager the panel binds to, made on first use.
    static LaunchAtLoginManager& shared();

    // As last read from the entry.
    bool isEnabled() const noexcept { return isEnabled_; }

    // Registers or unregisters the program, also when the entry already
    // agrees, then reads the entry again and answers what it says.
    bool setEnabled(bool enabled);

    // Reads the entry again, as each showing of the settings page does.
    bool refresh();

private:
    platform::LoginItem item_;
    logging::Console console_;
    bool isEnabled_ = false;
};

}  // namespace lumenary::app
