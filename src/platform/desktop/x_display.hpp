#pragma once

#include <optional>
#include <string>

// Kept out of the header: Xlib's macros (None, Status, Bool) would leak
// into every includer.
struct _XDisplay;

namespace lumenary::platform {

// One connection to the X server that DISPLAY names, opened on first use
// and opened again after the server went away. Xlib's default handlers end
// the process on a protocol error or a lost connection; this connection
// records them instead. Used from one thread only.
class XDisplay {
public:
    XDisplay() = default;
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // The open connection after a round trip, or nothing with the reason
    // (a sentence that says what is missing and what to set) in `problem`.
    _XDisplay* connection(std::string& problem);

    // Reads a text property of the root window (absent when unset).
    std::optional<std::string> rootProperty(const char* name);

private:
    void close();

    _XDisplay* display_ = nullptr;
    std::string name_;
    // Set by Xlib when the connection broke.
    bool lost_ = false;
};

// Installs the process's Xlib error handlers that report instead of ending
// the process; idempotent.
void installQuietXErrorHandlers();

// Opens a connection to the X display `name` (DISPLAY's value, may be null),
// or answers nothing with the reason (a sentence that says what is missing
// and what to set) in `problem`. Every test of "is there a display" goes
// through here, so the panel and desktop control never disagree about it.
_XDisplay* openXDisplay(const char* name, std::string& problem);

// Nothing when an X display answers at DISPLAY, else why not (as
// openXDisplay says it). Opens a connection of its own and closes it again.
std::optional<std::string> xDisplayUnavailability();

}  // namespace lumenary::platform
