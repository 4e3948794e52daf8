#pragma once

#include <dbus/dbus.h>

namespace lumenary::platform {

// Sends `request` over a private connection to the session bus, opened and
// closed here (the shared connection belongs to whoever else in the process
// uses libdbus), and waits up to `replyWaitMilliseconds` for the answer.
// Returns the reply, which the caller unrefs, or null when there is no bus
// or no answer. The session bus going away never ends the process.
DBusMessage* callOnPrivateSessionBus(DBusMessage* request, int replyWaitMilliseconds);

}  // namespace lumenary::platform
