#pragma once

#include <optional>
#include <string>

// Kept out of the header: Xlib's macros (Status, Bool) break Qt's headers.
struct _XDisplay;

namespace lumenary::app::testing {

// Left clicks into a top-level window of an X display and moves of the
// pointer, sent with XTest as the pointer would send them.
class XClicks {
public:
    struct Size {
        int width = 0;
        int height = 0;
    };

    explicit XClicks(const std::string& display);
    ~XClicks();
    XClicks(const XClicks&) = delete;
    XClicks& operator=(const XClicks&) = delete;

    bool isOpen() const { return display_ != nullptr; }
    struct Area {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // The size of the viewable top-level window titled `title`.
    std::optional<Size> size(const std::string& title);
    // Where that window lies on the screen.
    std::optional<Area> area(const std::string& title);
    // The screen's size.
    Size screen();
    // The pointer moved to (x, y) of the screen.
    void movePointerTo(int x, int y);
    // A click at (x, y) of that window; false when none is viewable.
    bool click(const std::string& title, int x, int y);

private:
    unsigned long viewableWindow(const std::string& title);

    _XDisplay* display_;
};

}  // namespace lumenary::app::testing
