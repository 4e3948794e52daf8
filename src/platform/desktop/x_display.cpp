#include "platform/desktop/x_display.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <mutex>

namespace lumenary::platform {

namespace {

// A protocol error (a mapping the server refused) is not worth the
// process: the request is simply lost.
int ignoreProtocolError(Display*, XErrorEvent*) {
    return 0;
}

// Xlib marks the display dead once this returns; the next use opens a
// new connection.
int ignoreLostConnection(Display*) {
    return 0;
}

void recordLostConnection(Display*, void* lost) {
    *static_cast<bool*>(lost) = true;
}

}  // namespace

void installQuietXErrorHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        XSetErrorHandler(ignoreProtocolError);
        XSetIOErrorHandler(ignoreLostConnection);
    });
}

XDisplay::~XDisplay() {
    close();
}

void XDisplay::close() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

Display* openXDisplay(const char* name, std::string& problem) {
    if (name == nullptr || *name == '\0') {
        problem = "No X display is set: run Lumenary in an X11 or XWayland session, or set DISPLAY to one.";
        return nullptr;
    }
    installQuietXErrorHandlers();
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        problem = "The X display \"" + std::string(name) +
                  "\" does not open: set DISPLAY to a running X11 or XWayland display that this user may use.";
    }
    return display;
}

std::optional<std::string> xDisplayUnavailability() {
    std::string problem;
    Display* display = openXDisplay(std::getenv("DISPLAY"), problem);
    if (display == nullptr) {
        return problem;
    }
    XCloseDisplay(display);
    return std::nullopt;
}

Display* XDisplay::connection(std::string& problem) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        close();
        return openXDisplay(name, problem);
    }
    if (display_ != nullptr && name_ != name) {
        close();
    }
    // A connection that broke is known only after a round trip.
    if (display_ != nullptr) {
        XNoOp(display_);
        XSync(display_, False);
        if (lost_) {
            close();
        }
    }
    if (display_ == nullptr) {
        name_ = name;
        display_ = openXDisplay(name, problem);
        if (display_ == nullptr) {
            return nullptr;
        }
        lost_ = false;
        XSetIOErrorExitHandler(display_, recordLostConnection, &lost_);
    }
    return display_;
}

std::optional<std::string> XDisplay::rootProperty(const char* name) {
    std::string ignored;
    Display* display = connection(ignored);
    if (display == nullptr) {
        return std::nullopt;
    }
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) {
        return std::nullopt;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), atom, 0, 4096, False, AnyPropertyType,
                                          &type, &format, &count, &left, &data);
    std::optional<std::string> text;
    if (status == Success && data != nullptr && format == 8) {
        text.emplace(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return text;
}

}  // namespace lumenary::platform
