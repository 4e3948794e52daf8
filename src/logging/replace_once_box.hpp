#pragma once

#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <utility>

#include "logging/diagnostics_writer.hpp"

namespace lumenary::logging {

// A value read under a shared lock and replaced at most once under an
// exclusive lock; a second replacement is a programming error that stops the
// process after printing `violationMessage` (a text that outlives the box).
template <class Value>
class ReplaceOnceBox {
public:
    ReplaceOnceBox(Value initial, std::string_view violationMessage)
        : value_(std::move(initial)), violationMessage_(violationMessage) {}

    ReplaceOnceBox(const ReplaceOnceBox&) = delete;
    ReplaceOnceBox& operator=(const ReplaceOnceBox&) = delete;

    // noexcept: a failing lock is a programming error, and a throw out of here
    // stops the process.
    Value get() const noexcept {
        std::shared_lock lock(mutex_);
        return value_;
    }

    void replaceOnce(Value replacement) noexcept {
        Value previous = [&] {
            std::unique_lock lock(mutex_);
            if (initialized_) {
                abortWithDiagnostic(violationMessage_);
            }
            initialized_ = true;
            return std::exchange(value_, std::move(replacement));
        }();
        // `previous` is released here, outside the lock: whatever it owns may log.
    }

private:
    mutable std::shared_mutex mutex_;
    bool initialized_ = false;
    Value value_;
    std::string_view violationMessage_;
};

}  // namespace lumenary::logging
