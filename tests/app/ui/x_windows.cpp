#include "app/ui/x_windows.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <optional>

namespace lumenary::app::testing {

XWindows::XWindows(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XWindows::~XWindows() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

namespace {

// The window's title as the desktop shows it: the UTF-8 one a toolkit sets
// beside the legacy name (which cannot carry a title beyond Latin-1), else
// that legacy name.
std::optional<std::string> titleOf(Display* display, Window window) {
    const Atom utf8Name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8String = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long length = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, utf8Name, 0, 1024, False, utf8String, &type, &format, &length, &remaining,
                           &data) == Success &&
        data) {
        std::string title(reinterpret_cast<const char*>(data), length);
        XFree(data);
        if (type == utf8String) {
            return title;
        }
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        std::string title(name);
        XFree(name);
        return title;
    }
    return std::nullopt;
}

}  // namespace

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
        XWindowAttributes attributes{};
        if (titleOf(display_, children[index]) == title && XGetWindowAttributes(display_, children[index], &attributes)) {
            found = attributes.map_state == IsViewable;
        }
    }
    if (children) {
        XFree(children);
    }
    return found;
}

}  // namespace lumenary::app::testing
