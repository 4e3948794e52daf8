#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/defaults/defaults_store.hpp"
#include "platform/messages/message_sender.hpp"
#include "platform/process/process_launcher.hpp"

namespace lumenary::platform {

struct KdeConnectSettings {
    // A name looked up on PATH, or a path.
    std::string program = "kdeconnect-cli";
    // The id of the phone to send through; absent: the first paired device
    // that is reachable at the time of sending.
    std::optional<std::string> device;
    // For the whole send, the device look-up included.
    std::chrono::milliseconds deadline{10'000};
};

// Sends as an SMS through a phone paired with KDE Connect, by running its
// command-line tool with an argument vector (never a shell): first
// `-a --id-only` to find a reachable device when none is configured, then
// `--device=<id> --destination=<number> --send-sms=<text>`. Every value
// goes in the `--option=value` form, so a text that starts with "-" is
// never read as an option. Success means the tool handed the message to
// the phone. Blocking; keeps no state, so any thread may call it.
class KdeConnectMessageSender final : public MessageSender {
public:
    explicit KdeConnectMessageSender(KdeConnectSettings settings = {});

    std::optional<PlatformError> send(const std::string& phoneNumber, const std::string& text) override;

private:
    using Clock = std::chrono::steady_clock;

    PlatformOutcome<std::string> reachableDevice(Clock::time_point until) const;
    // The tool's run to its end, or why it could not run or ended badly.
    PlatformOutcome<ProcessRun> run(std::vector<std::string> arguments, Clock::time_point until) const;

    KdeConnectSettings settings_;
    ProcessLauncher launcher_;
};

// The sender with the device the defaults key messagesDevice names, if any.
std::shared_ptr<MessageSender> makeKdeConnectMessageSender(const DefaultsStore& defaults);

}  // namespace lumenary::platform
