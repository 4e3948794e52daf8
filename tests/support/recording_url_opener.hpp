#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/applications/url_opener.hpp"

namespace lumenary::testing {

// A UrlOpener that keeps every link it is handed and answers each with the
// failure the test set (none at first: every link opens).
class RecordingUrlOpener final : public platform::UrlOpener {
public:
    void failWith(std::optional<platform::PlatformError> failure) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(failure);
    }
    std::vector<std::string> links() const {
        std::lock_guard lock(mutex_);
        return links_;
    }

    std::optional<platform::PlatformError> open(const std::string& url) override {
        std::lock_guard lock(mutex_);
        links_.push_back(url);
        return failure_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<platform::PlatformError> failure_;
    std::vector<std::string> links_;
};

}  // namespace lumenary::testing
