#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace lumenary::platform {

// No usable path: the running program's file is gone from the path the
// system names for it (rebuilt or removed while the program runs) and
// nothing executable stands there now, or the system names no path.
struct StaleExecutablePath {
    // What the system reports, " (deleted)" included; empty when it reports
    // nothing at all.
    std::string reportedPath;
    // Says which path is stale and why, in words a person can act on.
    std::string description;
};

using ExecutablePathResult = std::variant<std::string, StaleExecutablePath>;

// The path of the running executable, for a command that starts this
// program again. The system reads "<path> (deleted)" once the file was
// replaced, as a rebuild while running does; that suffix is dropped when an
// executable stands at <path> again.
ExecutablePathResult runningExecutablePath();

// The same decision for a path as the system reported it.
ExecutablePathResult executablePathFromReport(std::string_view reportedPath);

}  // namespace lumenary::platform
