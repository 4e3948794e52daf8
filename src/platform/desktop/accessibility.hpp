#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumenary::platform {

// An element's box on the screen in root-window pixels.
struct ScreenRectangle {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// One element of an application's accessibility tree, or the application
// itself. Every read asks the application afresh and answers nothing when
// the element does not have that attribute or interface, or the read failed
// (the application quit, hung past the call's time-out, or answered an
// error): a failed read never stops the reads after it.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;

    // The role's name as the bus gives it ("push button", "frame").
    virtual std::optional<std::string> roleName() = 0;
    virtual std::optional<std::string> name() = 0;
    virtual std::optional<std::string> description() = 0;
    // The whole contents of its text, for an element with text.
    virtual std::optional<std::string> text() = 0;
    // The current value, for an element with a value (a slider, a check).
    virtual std::optional<double> currentValue() = 0;
    // Its extents in screen coordinates.
    virtual std::optional<ScreenRectangle> extents() = 0;
    virtual std::optional<pid_t> processIdentifier() = 0;
    virtual int childCount() = 0;
    // Absent when the child is gone or the read failed.
    virtual std::unique_ptr<AccessibleElement> child(int index) = 0;
};

// The desktop's accessibility bus. Not safe to call from several threads:
// its owner calls it from one thread only, and destroys the elements it
// hands out on that thread too.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Nothing when the bus answers; otherwise what is missing and what to
    // do about it, as a sentence for the user. Never switches the desktop's
    // accessibility setting on.
    virtual std::optional<std::string> unavailability() = 0;

    // The applications registered on the bus, in the bus's order; empty
    // when the bus does not answer.
    virtual std::vector<std::unique_ptr<AccessibleElement>> applications() = 0;
};

}  // namespace lumenary::platform
