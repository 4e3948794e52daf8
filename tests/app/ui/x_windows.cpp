#include "app/ui/x_windows.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace lumenary::app::testing {

XWindows::XWindows(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XWindows::~XWindows() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

bool XWindows::viewable(const std::string& title) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!display_ || !XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
        return false;
    }
    bool found = false;
    for (unsigned int index = 0; index < count && !found; ++index) {
        char* name = nullptr;
        if (XFetchName(display_, children[index], &name) && name) {
            XWindowAttributes attributes{};
            if (title == name && XGetWindowAttributes(display_, children[index], &attributes)) {
                found = attributes.map_state == IsViewable;
            }
            XFree(name);
        }
    }
    if (children) {
        XFree(children);
    }
    return found;
}

}  // namespace lumenary::app::testing
