#include "app/ui/x_clicks.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace lumenary::app::testing {

XClicks::XClicks(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XClicks::~XClicks() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

unsigned long XClicks::viewableWindow(const std::string& title) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!display_ || !XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
        return 0;
    }
    Window found = 0;
    for (unsigned int index = 0; index < count && found == 0; ++index) {
        char* name = nullptr;
        if (XFetchName(display_, children[index], &name) && name) {
            XWindowAttributes attributes{};
            if (title == name && XGetWindowAttributes(display_, children[index], &attributes) &&
                attributes.map_state == IsViewable) {
                found = children[index];
            }
            XFree(name);
        }
    }
    if (children) {
        XFree(children);
    }
    return found;
}

std::optional<XClicks::Size> XClicks::size(const std::string& title) {
    const Window window = viewableWindow(title);
    XWindowAttributes attributes{};
    if (window == 0 || !XGetWindowAttributes(display_, window, &attributes)) {
        return std::nullopt;
    }
    return Size{attributes.width, attributes.height};
}

std::optional<XClicks::Area> XClicks::area(const std::string& title) {
    const Window window = viewableWindow(title);
    XWindowAttributes attributes{};
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (window == 0 || !XGetWindowAttributes(display_, window, &attributes) ||
        !XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rootX, &rootY, &child)) {
        return std::nullopt;
    }
    return Area{rootX, rootY, attributes.width, attributes.height};
}

XClicks::Size XClicks::screen() {
    if (!display_) {
        return {};
    }
    return Size{DisplayWidth(display_, DefaultScreen(display_)), DisplayHeight(display_, DefaultScreen(display_))};
}

void XClicks::movePointerTo(int x, int y) {
    if (display_) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
    }
}

bool XClicks::click(const std::string& title, int x, int y) {
    const Window window = viewableWindow(title);
    if (window == 0) {
        return false;
    }
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child)) {
        return false;
    }
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
    return true;
}

}  // namespace lumenary::app::testing
