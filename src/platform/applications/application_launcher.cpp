#include "platform/applications/application_launcher.hpp"

#include <cerrno>

#include "platform/applications/desktop_entry_path.hpp"
#include "platform/applications/xdg_mime.hpp"
#include "platform/process/process_launcher.hpp"
#include "platform/text/plain_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::size_t outputLimit = 4096;

PlatformError launcherFailure(std::string description) {
    return PlatformError{.domain = "ApplicationLauncher", .code = 500, .description = std::move(description)};
}

PlatformError notStarted(const std::string& executable, const PlatformError& error, const char* package) {
    if (error.code == ENOENT) {
        return launcherFailure(executable + " is not installed (it comes with the " + package + " package)");
    }
    return launcherFailure("Could not start " + executable + ": " + error.description);
}

}  // namespace

GioApplicationLauncher::GioApplicationLauncher(std::chrono::milliseconds statusWait) : statusWait_(statusWait) {}

PlatformOutcome<std::optional<std::string>> GioApplicationLauncher::defaultApplication(const std::string& mimeType) {
    auto identifier = xdgMimeDefault(mimeType);
    if (!identifier) {
        return notStarted("xdg-mime", identifier.error(), "xdg-utils");
    }
    return identifier;
}

std::optional<PlatformError> GioApplicationLauncher::launch(const std::string& identifier) {
    const auto path = desktopEntryPath(identifier);
    if (!path) {
        return launcherFailure("The desktop entry " + identifier +
                               " is in none of the applications folders of XDG_DATA_HOME and XDG_DATA_DIRS");
    }
    ProcessLaunch launch{.executable = "gio",
                         .arguments = {"launch", path->string()},
                         .standardInput = std::nullopt,
                         .standardOutputLimit = 0,
                         .standardErrorLimit = outputLimit,
                         .deadline = statusWait_,
                         .atDeadline = ProcessLaunch::AtDeadline::leaveRunning};
    const auto run = ProcessLauncher().run(launch);
    if (!run) {
        return notStarted("gio", run.error(), "libglib2.0-bin");
    }
    const auto& finished = run.value();
    if (!finished.exit || (finished.exit->kind == ProcessExit::Kind::exited && finished.exit->exitStatus == 0)) {
        return std::nullopt;
    }
    auto said = std::string(lastLine(system::repairUTF8(finished.standardError.bytes)));
    if (said.empty()) {
        said = "gio launch ended without starting it";
    }
    return launcherFailure("Could not start " + identifier + ": " + said);
}

}  // namespace lumenary::platform
