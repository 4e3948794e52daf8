#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform_error.hpp"
#include "platform/program/running_executable_path.hpp"

namespace lumenary::platform {

// The program started at login through an XDG autostart entry,
// lumenary.desktop. Registering writes the entry whole or not at all,
// replacing any entry of that name; unregistering removes only an entry this
// program wrote. Failures come back with domain "LoginItem" and the errno
// of the failed step as the code (0 for a path no entry can hold).
class LoginItem {
public:
    using ExecutablePathSource = std::function<ExecutablePathResult()>;

    // The entry of the user's autostart folder, started from the running
    // executable.
    LoginItem();
    LoginItem(std::filesystem::path entryPath, ExecutablePathSource executablePath);

    // $XDG_CONFIG_HOME/autostart/lumenary.desktop; a relative or empty
    // XDG_CONFIG_HOME counts as unset, leaving ~/.config/autostart.
    static std::filesystem::path userEntryPath();

    const std::filesystem::path& entryPath() const noexcept { return entryPath_; }

    // Whether the desktop would start an entry now: it exists, its TryExec
    // names an executable file, and neither Hidden=true nor
    // X-GNOME-Autostart-enabled=false turns it off.
    bool isRegistered() const;

    std::optional<PlatformError> registerItem() const;
    // An entry we did not write is left alone; that is a failure only while
    // it still starts something at login.
    std::optional<PlatformError> unregisterItem() const;

private:
    std::filesystem::path entryPath_;
    ExecutablePathSource executablePath_;
};

// The entry's text starting `executablePath` (absolute), or why no entry can
// hold that path: it is not absolute, not UTF-8, or has a control character.
PlatformOutcome<std::string> loginItemEntryText(std::string_view executablePath);

}  // namespace lumenary::platform
