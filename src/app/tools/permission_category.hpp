#pragma once

#include <string>
#include <utility>

namespace lumenary::app {

// What a tool category needs from the user before it may be used. The
// automation target names the program the category drives; every target is
// treated alike.
struct PermissionCategory {
    enum class Kind { automation, calendar, reminders, contacts, accessibility, fullDiskAccess, none };

    Kind kind = Kind::none;
    std::string targetApp;

    static PermissionCategory automation(std::string targetApp) { return {Kind::automation, std::move(targetApp)}; }
    static PermissionCategory of(Kind kind) { return {kind, {}}; }
};

}  // namespace lumenary::app
