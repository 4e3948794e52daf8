#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/applications/application_launcher.hpp"

namespace lumenary::testing {

// An ApplicationLauncher that records what it is asked ("default
// text/calendar", "launch org.example.Cal.desktop") and answers with the
// default application and the failures the test set.
class RecordingApplicationLauncher final : public platform::ApplicationLauncher {
public:
    void setDefault(platform::PlatformOutcome<std::optional<std::string>> answer) {
        std::lock_guard lock(mutex_);
        default_ = std::move(answer);
    }
    void failLaunches(std::optional<platform::PlatformError> failure) {
        std::lock_guard lock(mutex_);
        launchFailure_ = std::move(failure);
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    platform::PlatformOutcome<std::optional<std::string>> defaultApplication(const std::string& mimeType) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("default " + mimeType);
        return default_;
    }
    std::optional<platform::PlatformError> launch(const std::string& identifier) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("launch " + identifier);
        return launchFailure_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    platform::PlatformOutcome<std::optional<std::string>> default_ = std::optional<std::string>();
    std::optional<platform::PlatformError> launchFailure_;
};

}  // namespace lumenary::testing
