#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/input_events.hpp"

namespace lumenary::testing {

// Input events that are only written down: "click X Y" for a click, one
// "key U+XXXX" entry per typed code point, "give back" for the end of an
// orderly stop. It records the threads it was called on and can take its
// time over each key, so that calls that overlap would show interleaved
// keys. Typing stops at a code point in `untypable`, with its reason, and
// at a requested stop.
class RecordingInputEvents final : public platform::InputEvents {
public:
    std::optional<std::string> unavailable;
    std::optional<platform::ScreenSize> screen = platform::ScreenSize{1280, 1024};
    std::chrono::microseconds perKey{0};
    std::u32string untypable;
    std::string untypableReason = "No key types it.";

    std::optional<std::string> unavailability() override {
        noteThread();
        return unavailable;
    }
    std::optional<platform::ScreenSize> screenSize() override {
        noteThread();
        return screen;
    }
    void click(int x, int y) override {
        noteThread();
        record("click " + std::to_string(x) + " " + std::to_string(y));
    }
    platform::TypingOutcome typeText(std::u32string_view codePoints, std::stop_token stop) override {
        noteThread();
        platform::TypingOutcome outcome;
        for (const char32_t point : codePoints) {
            if (stop.stop_requested()) {
                outcome.stopReason = "Stopping.";
                return outcome;
            }
            if (untypable.find(point) != std::u32string::npos) {
                outcome.stopReason = untypableReason;
                return outcome;
            }
            char name[16];
            std::snprintf(name, sizeof name, "key U+%04X", static_cast<unsigned>(point));
            record(name);
            ++outcome.typed;
            if (perKey.count() > 0) {
                std::this_thread::sleep_for(perKey);
            }
        }
        return outcome;
    }
    void giveBackBorrowedKeys() override {
        noteThread();
        record("give back");
    }
    void takeBackAbandonedKeys() override {
        noteThread();
        record("take back");
    }

    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    void record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    void noteThread() {
        std::lock_guard lock(mutex_);
        threads_.insert(std::this_thread::get_id());
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::set<std::thread::id> threads_;
};

}  // namespace lumenary::testing
