#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/applications/script_runner.hpp"

namespace lumenary::testing {

// A ScriptRunner that keeps every script text it is handed and answers each
// run with the result the test set (a success without a value at first).
class RecordingScriptRunner final : public platform::ScriptRunner {
public:
    void answer(platform::ScriptRunResult result) {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    std::vector<std::string> scripts() const {
        std::lock_guard lock(mutex_);
        return scripts_;
    }

    platform::ScriptRunResult run(const std::string& source) override {
        std::lock_guard lock(mutex_);
        scripts_.push_back(source);
        return result_;
    }

private:
    static platform::ScriptRunResult succeeded() {
        platform::ScriptRunResult result;
        result.kind = platform::ScriptRunResult::Kind::succeeded;
        return result;
    }

    mutable std::mutex mutex_;
    platform::ScriptRunResult result_ = succeeded();
    std::vector<std::string> scripts_;
};

}  // namespace lumenary::testing
