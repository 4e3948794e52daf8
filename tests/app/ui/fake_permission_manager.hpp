#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "app/permissions/permission_manager.hpp"

namespace lumenary::app::testing {

inline PermissionGuidance guidanceOf(std::string hint, std::optional<std::string> location = std::nullopt,
                                     std::optional<std::vector<std::string>> program = std::nullopt) {
    return {.hint = std::move(hint), .settingsLocation = std::move(location), .settingsProgram = std::move(program)};
}

// Answers from tables the test sets: a status and a guidance per kind, and
// for requests either an answer at once or, while `holdRequests` is set, an
// answer the test gives later. Records what was requested and opened.
class FakePermissionManager final : public PermissionManager {
public:
    using Kind = PermissionCategory::Kind;

    void setStatus(Kind kind, PermissionStatus status) {
        std::lock_guard lock(mutex_);
        statuses_[kind] = status;
    }
    void setRequestAnswer(Kind kind, bool granted) {
        std::lock_guard lock(mutex_);
        requestAnswers_[kind] = granted;
    }
    void setGuidance(Kind kind, PermissionGuidance guidance) {
        std::lock_guard lock(mutex_);
        guidances_[kind] = std::move(guidance);
    }
    void holdRequests() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }

    // Status probes wait until released, as a probe of a slow folder does.
    void holdStatuses() {
        std::lock_guard lock(mutex_);
        holdingStatuses_ = true;
    }
    void releaseStatuses() {
        {
            std::lock_guard lock(mutex_);
            holdingStatuses_ = false;
        }
        statusesReleased_.notify_all();
    }
    // Status probes begun so far, held ones included.
    std::size_t statusCount() {
        std::lock_guard lock(mutex_);
        return statusCount_;
    }

    PermissionStatus status(const PermissionCategory& category) override {
        std::unique_lock lock(mutex_);
        ++statusCount_;
        statusesReleased_.wait(lock, [this] { return !holdingStatuses_; });
        const auto found = statuses_.find(category.kind);
        return found == statuses_.end() ? PermissionStatus::granted : found->second;
    }

    asio::awaitable<bool> request(PermissionCategory category) override {
        auto held = std::make_shared<HeldRequest>(co_await asio::this_coro::executor);
        bool granted = false;
        {
            std::lock_guard lock(mutex_);
            requested_.push_back(category);
            const auto found = requestAnswers_.find(category.kind);
            granted = found != requestAnswers_.end() && found->second;
            if (!holding_) {
                co_return granted;
            }
            held->timer.expires_at(asio::steady_timer::time_point::max());
            held_.push_back(held);
        }
        std::error_code ignored;
        co_await held->timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
        co_return held->answer;
    }

    PermissionGuidance guidance(const PermissionCategory& category) override {
        std::lock_guard lock(mutex_);
        const auto found = guidances_.find(category.kind);
        return found == guidances_.end() ? PermissionGuidance{} : found->second;
    }

    void openSystemSettings(const PermissionCategory& category) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(category);
    }

    // Answers the oldest held request; false when none is held.
    bool answerHeld(bool granted) {
        std::shared_ptr<HeldRequest> held;
        {
            std::lock_guard lock(mutex_);
            if (held_.empty()) return false;
            held = held_.front();
            held_.erase(held_.begin());
        }
        held->answer = granted;
        asio::post(held->timer.get_executor(), [held] { held->timer.cancel(); });
        return true;
    }

    std::size_t heldCount() {
        std::lock_guard lock(mutex_);
        return held_.size();
    }
    std::vector<PermissionCategory> requested() {
        std::lock_guard lock(mutex_);
        return requested_;
    }
    std::vector<PermissionCategory> opened() {
        std::lock_guard lock(mutex_);
        return opened_;
    }

private:
    struct HeldRequest {
        explicit HeldRequest(asio::any_io_executor executor) : timer(std::move(executor)) {}
        asio::steady_timer timer;
        bool answer = false;
    };

    std::mutex mutex_;
    std::condition_variable statusesReleased_;
    bool holdingStatuses_ = false;
    std::size_t statusCount_ = 0;
    std::map<Kind, PermissionStatus> statuses_;
    std::map<Kind, bool> requestAnswers_;
    std::map<Kind, PermissionGuidance> guidances_;
    bool holding_ = false;
    std::vector<std::shared_ptr<HeldRequest>> held_;
    std::vector<PermissionCategory> requested_;
    std::vector<PermissionCategory> opened_;
};

}  // namespace lumenary::app::testing
