#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::platform {

// The size of the screen that pointer events reach, in pixels.
struct ScreenSize {
    int width = 0;
    int height = 0;
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
    // apart. A character no key types is given a key with nothing of its
    // own, which keeps it until another character needs the key or this
    // object ends. A code point that no key can type is skipped.
    virtual void typeText(std::u32string_view codePoints) = 0;
};

}  // namespace lumenary::platform
