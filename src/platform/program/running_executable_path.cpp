#include "platform/program/running_executable_path.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace lumenary::platform {

namespace {

// What the kernel appends to the link of a file that was unlinked.
constexpr std::string_view deletedSuffix = " (deleted)";

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

ExecutablePathResult executablePathFromReport(std::string_view reportedPath) {
    if (!reportedPath.ends_with(deletedSuffix)) {
        return std::string(reportedPath);
    }
    std::string remaining(reportedPath.substr(0, reportedPath.size() - deletedSuffix.size()));
    if (isExecutableFile(remaining)) {
        return remaining;
    }
    return StaleExecutablePath{.reportedPath = std::string(reportedPath),
                               .description = "the running program's file " + remaining +
                                              " was replaced or removed, and no executable stands there now"};
}

ExecutablePathResult runningExecutablePath() {
    std::error_code error;
    const auto reported = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return StaleExecutablePath{.reportedPath = {},
                                   .description = "/proc/self/exe could not be read: " + error.message()};
    }
    return executablePathFromReport(reported.string());
}

}  // namespace lumenary::platform
