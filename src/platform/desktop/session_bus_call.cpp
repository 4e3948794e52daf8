#include "platform/desktop/session_bus_call.hpp"

namespace lumenary::platform {

DBusMessage* callOnPrivateSessionBus(DBusMessage* request, int replyWaitMilliseconds) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (session == nullptr) {
        dbus_error_free(&error);
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(session, FALSE);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(session, request, replyWaitMilliseconds, &error);
    dbus_error_free(&error);
    dbus_connection_close(session);
    dbus_connection_unref(session);
    return reply;
}

}  // namespace lumenary::platform
