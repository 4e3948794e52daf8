#pragma once

#include <string>

// Kept out of the header: Xlib's macros (Status, Bool) break Qt's headers.
struct _XDisplay;

namespace lumenary::app::testing {

// The top-level windows of an X display, as a test looks at them.
class XWindows {
public:
    explicit XWindows(const std::string& display);
    ~XWindows();
    XWindows(const XWindows&) = delete;
    XWindows& operator=(const XWindows&) = delete;

    bool isOpen() const { return display_ != nullptr; }
    // A top-level window titled `title` (UTF-8) is mapped and viewable.
    bool viewable(const std::string& title);
    bool panelViewable() { return viewable("Lumenary"); }

private:
    _XDisplay* display_;
};

}  // namespace lumenary::app::testing
