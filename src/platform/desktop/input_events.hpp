#pragma once

#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace lumenary::platform {

// The size of the screen that pointer events reach, in pixels.
struct ScreenSize {
    int width = 0;
    int height = 0;
};

// How far typing went: every code point, or the ones before the first that
// could not be typed, which with the rest was not.
struct TypingOutcome {
    // Typed, from the first.
    std::size_t typed = 0;
    // Why the code point at `typed` was not typed, as sentences; absent
    // when all were.
    std::optional<std::string> stopReason;
};

// Pointer and keyboard events posted to the display as if a person made
// them. Not safe to call from several threads: its owner calls it from one
// thread only. Every call blocks for as long as its pauses last.
class InputEvents {
public:
    virtual ~InputEvents() = default;

    // Nothing when events can be posted; otherwise what is missing and what
    // to do about it, as a sentence for the user.
    virtual std::optional<std::string> unavailability() = 0;

    // Absent when events cannot be posted.
    virtual std::optional<ScreenSize> screenSize() = 0;

    // Moves the pointer to (x, y), presses the left button, waits 10 ms
    // and releases it. (x, y) lies on the screen.
    virtual void click(int x, int y) = 0;

    // Presses and releases one key for each code point, in order, 5 ms
    // apart, until `stop` is requested. A character no key types is given a
    // level (plain or shifted) of a key with nothing of its own, which keeps
    // it until another character needs that level or the keys are given
    // back. Typing stops at the first code point that cannot be typed: one
    // no keyboard types, or one for which no key can be had.
    virtual TypingOutcome typeText(std::u32string_view codePoints, std::stop_token stop) = 0;

    // The end of an orderly stop: gives back, once their hold is over, the
    // keys taken for typing. Its owner types nothing afterwards.
    virtual void giveBackBorrowedKeys() = 0;

    // Takes back the keys that earlier runs of ours borrowed on this display
    // and never gave back (they were killed, or crashed), where they still
    // hold what those runs put there.
    virtual void takeBackAbandonedKeys() = 0;
};

}  // namespace lumenary::platform
