#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// Starts the desktop's applications by their desktop entries. Blocking for
// a short while: callers run it on the worker pool. Errors (domain
// "ApplicationLauncher") say what failed in words a user can act on.
class ApplicationLauncher {
public:
    virtual ~ApplicationLauncher() = default;

    // The desktop-entry id ("org.gnome.Calendar.desktop") of the user's
    // default application for `mimeType`; absent when there is none.
    virtual PlatformOutcome<std::optional<std::string>> defaultApplication(const std::string& mimeType) = 0;
    // Starts the application of the desktop entry `identifier`; nothing
    // when it started.
    virtual std::optional<PlatformError> launch(const std::string& identifier) = 0;
};

// Finds defaults with xdg-mime (the XDG MIME rules: mimeapps.list in the
// configuration and data folders) and starts an application with gio launch
// on its desktop file, found in the XDG data folders; both started directly,
// never through a shell. gio's status is awaited for `statusWait` at most,
// as the URL opener does.
class GioApplicationLauncher final : public ApplicationLauncher {
public:
    explicit GioApplicationLauncher(std::chrono::milliseconds statusWait = std::chrono::seconds(2));

    PlatformOutcome<std::optional<std::string>> defaultApplication(const std::string& mimeType) override;
    std::optional<PlatformError> launch(const std::string& identifier) override;

private:
    std::chrono::milliseconds statusWait_;
};

}  // namespace lumenary::platform
