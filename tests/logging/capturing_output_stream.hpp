#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "logging/text_output_stream.hpp"

namespace lumenary::logging::testing {

// Keeps every text written to it, one entry per write.
class CapturingOutputStream final : public TextOutputStream {
public:
    void write(std::string_view text) override {
        std::lock_guard lock(mutex_);
        writes_.emplace_back(text);
    }

    std::vector<std::string> writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> writes_;
};

}  // namespace lumenary::logging::testing
