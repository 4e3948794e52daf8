#pragma once

#include <mutex>
#include <vector>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

// Defaults that live only as long as the object: for tests and benchmarks.
class MemoryDefaultsStore final : public DefaultsStore {
public:
    MemoryDefaultsStore() = default;
    explicit MemoryDefaultsStore(mcp::Value::Object values) : values_(std::move(values)) {}

    std::optional<mcp::Value> object(std::string_view key) const override {
        std::lock_guard lock(mutex_);
        const auto found = values_.find(key);
        return found == values_.end() ? std::nullopt : std::optional(found->second);
    }
    void set(std::string_view key, mcp::Value value) override {
        std::lock_guard lock(mutex_);
        values_.insert_or_assign(std::string(key), std::move(value));
        ++writeCount_;
    }
    void remove(std::string_view key) override {
        std::lock_guard lock(mutex_);
        if (const auto found = values_.find(key); found != values_.end()) {
            values_.erase(found);
        }
        ++writeCount_;
    }
    void preserveUnreadable(std::string_view key) override {
        std::lock_guard lock(mutex_);
        preserved_.emplace_back(key);
    }

    std::size_t writeCount() const {
        std::lock_guard lock(mutex_);
        return writeCount_;
    }
    std::vector<std::string> preservedKeys() const {
        std::lock_guard lock(mutex_);
        return preserved_;
    }

private:
    mutable std::mutex mutex_;
    mcp::Value::Object values_;
    std::vector<std::string> preserved_;
    std::size_t writeCount_ = 0;
};

}  // namespace lumenary::platform
