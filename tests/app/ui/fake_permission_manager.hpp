#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "app/permissions/permission_manager.hpp"

namespace lumenary::app::ui::testing {

// Permission answers a test sets per category kind (granted unless set),
// with one guidance for all, and the categories whose settings were opened.
// Called from the bridge's probe thread and from the test.
class FakePermissionManager final : public PermissionManager {
public:
    void setStatus(PermissionCategory::Kind kind, PermissionStatus status) {
        const std::lock_guard lock(mutex_);
        statuses_[kind] = status;
    }
    void setGuidance(PermissionGuidance guidance) {
        const std::lock_guard lock(mutex_);
        guidance_ = std::move(guidance);
    }
    std::vector<PermissionCategory::Kind> openedSettings() const {
        const std::lock_guard lock(mutex_);
        return opened_;
    }

    PermissionStatus status(const PermissionCategory& category) override {
        const std::lock_guard lock(mutex_);
        const auto found = statuses_.find(category.kind);
        return found == statuses_.end() ? PermissionStatus::granted : found->second;
    }
    asio::awaitable<bool> request(PermissionCategory category) override {
        co_return status(category) == PermissionStatus::granted;
    }
    PermissionGuidance guidance(const PermissionCategory&) override {
        const std::lock_guard lock(mutex_);
        return guidance_;
    }
    void openSystemSettings(const PermissionCategory& category) override {
        const std::lock_guard lock(mutex_);
        opened_.push_back(category.kind);
    }

private:
    mutable std::mutex mutex_;
    std::map<PermissionCategory::Kind, PermissionStatus> statuses_;
    PermissionGuidance guidance_;
    std::vector<PermissionCategory::Kind> opened_;
};

}  // namespace lumenary::app::ui::testing
