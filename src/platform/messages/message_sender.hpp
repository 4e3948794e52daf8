#pragma once

#include <optional>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// Hands a text message to something that delivers it to a phone number.
// Blocking: callers run it on the worker pool.
class MessageSender {
public:
    virtual ~MessageSender() = default;

    // Nothing once the message was handed over for delivery (whether it
    // reaches the phone is beyond what the sender can see), else why it was
    // not, as a reason a user can act on. Neither text may hold a NUL
    // character.
    virtual std::optional<PlatformError> send(const std::string& phoneNumber, const std::string& text) = 0;
};

}  // namespace lumenary::platform
