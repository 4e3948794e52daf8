#include "platform/messages/kde_connect_message_sender.hpp"

#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view blanks = " \t\r\n";
// Enough for any message the tool gives; a longer one is cut.
constexpr std::size_t messageLimit = 4096;

PlatformError messageSendFailure(int code, std::string description) {
    return PlatformError{"MessageSender", code, std::move(description)};
}

std::string_view trimmedOutput(std::string_view text) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The tool's own words for what went wrong, else how it ended.
std::string whyItFailed(const ProcessRun& run) {
    if (auto said = trimmedOutput(run.standardError.bytes); !said.empty()) {
        return system::repairUTF8(said);
    }
    if (run.exit->kind == ProcessExit::Kind::killedBySignal) {
        return "it was ended by signal " + std::to_string(run.exit->signalNumber);
    }
    return "it ended with status " + std::to_string(run.exit->exitStatus);
}

// A device id is one word; anything else the tool prints is not one.
std::optional<std::string> firstDeviceId(std::string_view listing) {
    while (!listing.empty()) {
        const auto end = listing.find('\n');
        const auto line = trimmedOutput(listing.substr(0, end));
        if (!line.empty() && line.find_first_of(blanks) == std::string_view::npos) {
            return std::string(line);
        }
        listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
    }
    return std::nullopt;
}

std::string durationText(std::chrono::milliseconds duration) {
    if (duration.count() % 1000 == 0) {
        return std::to_string(duration.count() / 1000) + " seconds";
    }
    return std::to_string(duration.count()) + " ms";
}

bool holdsNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

}  // namespace

KdeConnectMessageSender::KdeConnectMessageSender(KdeConnectSettings settings) : settings_(std::move(settings)) {}

std::optional<PlatformError> KdeConnectMessageSender::send(const std::string& phoneNumber, const std::string& text) {
    // A C argument ends at the first NUL: the rest would be lost unseen.
    if (holdsNul(phoneNumber) || holdsNul(text)) {
        return messageSendFailure(EINVAL, "the message holds a NUL character, which no program argument can carry.");
    }
    if (phoneNumber.empty()) {
        return messageSendFailure(EINVAL, "there is no phone number to send to.");
    }
    const auto until = Clock::now() + settings_.deadline;
    std::string device;
    if (settings_.device) {
        device = *settings_.device;
    } else {
        auto found = reachableDevice(until);
        if (!found) {
            return found.error();
        }
        device = std::move(found).value();
    }
    auto sent = run({"--device=" + device, "--destination=" + phoneNumber, "--send-sms=" + text}, until);
    if (!sent) {
        return sent.error();
    }
    return std::nullopt;
}

PlatformOutcome<std::string> KdeConnectMessageSender::reachableDevice(Clock::time_point until) const {
    // -a lists the devices that are both paired and reachable now.
    auto listed = run({"-a", "--id-only"}, until);
    if (!listed) {
        return listed.error();
    }
    if (auto device = firstDeviceId(listed.value().standardOutput.bytes)) {
        return std::move(*device);
    }
    return messageSendFailure(
        ENODEV,
        "no phone paired with KDE Connect is reachable. Pair a phone in KDE Connect and keep it on the "
        "same network, or set the defaults key messagesDevice to the id of one (kdeconnect-cli -a "
        "--id-only lists the reachable ones).");
}

PlatformOutcome<ProcessRun> KdeConnectMessageSender::run(std::vector<std::string> arguments,
                                                         Clock::time_point until) const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    const auto late = messageSendFailure(
        ETIMEDOUT, settings_.program + " did not finish within " + durationText(settings_.deadline) + ".");
    if (left.count() <= 0) {
        return late;
    }
    ProcessLaunch launch;
    launch.executable = settings_.program;
    launch.arguments = std::move(arguments);
    launch.standardErrorLimit = messageLimit;
    launch.deadline = left;
    auto outcome = launcher_.run(launch);
    if (!outcome) {
        if (outcome.error().code == ENOENT) {
            return messageSendFailure(ENOENT,
                                      settings_.program +
                                          " was not found. Sending needs KDE Connect (the Debian package kdeconnect) "
                                          "and a phone paired with it.");
        }
        return outcome.error();
    }
    auto& finished = outcome.value();
    if (finished.deadlinePassed) {
        return late;
    }
    if (finished.exit->kind != ProcessExit::Kind::exited || finished.exit->exitStatus != 0) {
        return messageSendFailure(EIO, settings_.program + " failed: " + whyItFailed(finished));
    }
    return outcome;
}

std::shared_ptr<MessageSender> makeKdeConnectMessageSender(const DefaultsStore& defaults) {
    KdeConnectSettings settings;
    if (const auto stored = defaults.object("messagesDevice")) {
        if (const auto* device = stored->stringValue(); device != nullptr && !device->empty()) {
            settings.device = *device;
        }
    }
    return std::make_shared<KdeConnectMessageSender>(std::move(settings));
}

}  // namespace lumenary::platform
