#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/messages/message_sender.hpp"

namespace lumenary::testing {

// A MessageSender that keeps every message it is handed and answers each
// send with the failure the test set (none at first).
class RecordingMessageSender final : public platform::MessageSender {
public:
    struct SentMessage {
        std::string phoneNumber;
        std::string text;
        bool operator==(const SentMessage&) const = default;
    };

    void failWith(std::optional<platform::PlatformError> failure) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(failure);
    }
    std::vector<SentMessage> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }

    std::optional<platform::PlatformError> send(const std::string& phoneNumber, const std::string& text) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({phoneNumber, text});
        return failure_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<platform::PlatformError> failure_;
    std::vector<SentMessage> sent_;
};

}  // namespace lumenary::testing
