#pragma once

#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/tools/permission_category.hpp"

namespace lumenary::app {

enum class PermissionStatus { granted = 0, denied = 1, notDetermined = 2 };

// How the user grants a permission on this desktop: a Chinese hint for the
// permission alert, and what its "去设置" button opens (a folder or URL, or a
// settings program's argument vector); nothing to open hides the button.
struct PermissionGuidance {
    std::string hint;
    std::optional<std::string> settingsLocation;
    std::optional<std::vector<std::string>> settingsProgram;
};

// Reads, requests and shows how to grant the permissions the tool categories
// need. On this platform no request can show a system prompt: a request runs
// the category's own request where it has one and otherwise probes again.
// status() and guidance() may block on the file system or the session bus
// (bounded by 1 s), so the panel calls them off its UI thread.
class PermissionManager {
public:
    virtual ~PermissionManager() = default;

    virtual PermissionStatus status(const PermissionCategory& category) = 0;
    // true when the category may be used now (or needs nothing).
    virtual asio::awaitable<bool> request(PermissionCategory category) = 0;
    virtual PermissionGuidance guidance(const PermissionCategory& category) = 0;
    // Opens what guidance() names; does nothing when it names nothing.
    virtual void openSystemSettings(const PermissionCategory& category) = 0;
};

}  // namespace lumenary::app
