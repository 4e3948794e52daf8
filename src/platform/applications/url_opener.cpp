#include "platform/applications/url_opener.hpp"

#include <cerrno>

#include "platform/applications/default_link_handler.hpp"
#include "platform/process/process_launcher.hpp"
#include "platform/text/plain_text.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

// Enough for xdg-open's one-line complaints and a handler's first words.
constexpr std::size_t standardErrorLimit = 2048;

PlatformError urlOpenerFailure(std::string description) {
    return PlatformError{.domain = "UrlOpener", .code = 500, .description = std::move(description)};
}

}  // namespace

XdgUrlOpener::XdgUrlOpener(std::string executable, std::chrono::milliseconds statusWait,
                           std::chrono::milliseconds verdictWait)
    : executable_(std::move(executable)), statusWait_(statusWait), verdictWait_(verdictWait) {}

std::optional<PlatformError> XdgUrlOpener::open(const std::string& url) {
    ProcessLaunch launch{.executable = executable_,
                         // "--" is not understood by xdg-open; a link never starts with "-" anyway,
                         // since every caller builds it from a scheme.
                         .arguments = {url},
                         .standardInput = std::nullopt,
                         .standardOutputLimit = 0,
                         .standardErrorLimit = standardErrorLimit,
                         .deadline = statusWait_,
                         .atDeadline = ProcessLaunch::AtDeadline::leaveRunning};
    // Still running at the wait's end: with a default set for the link its
    // handler has it; without one xdg-open is still looking, however long
    // a busy machine makes it take, and its verdict is the answer.
    launch.waitLongerAtDeadline = [&] { return defaultLinkHandler(url) ? std::chrono::milliseconds(0) : verdictWait_; };
    const auto run = ProcessLauncher().run(launch);
    if (!run) {
        if (run.error().code == ENOENT) {
            return urlOpenerFailure(executable_ + " is not installed (it comes with the xdg-utils package)");
        }
        return urlOpenerFailure("Could not start " + executable_ + ": " + run.error().description);
    }
    const auto& finished = run.value();
    if (!finished.exit) {
        return std::nullopt;
    }
    const auto& exit = *finished.exit;
    if (exit.kind == ProcessExit::Kind::exited && exit.exitStatus == 0) {
        return std::nullopt;
    }
    auto said = std::string(lastLine(system::repairUTF8(finished.standardError.bytes)));
    if (!said.empty()) {
        return urlOpenerFailure(std::move(said));
    }
    if (exit.kind == ProcessExit::Kind::killedBySignal) {
        return urlOpenerFailure(executable_ + " was ended by signal " + std::to_string(exit.signalNumber));
    }
    return urlOpenerFailure(executable_ + " exited with status " + std::to_string(exit.exitStatus));
}

}  // namespace lumenary::platform
