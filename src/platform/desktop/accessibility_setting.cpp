#include "platform/desktop/accessibility_setting.hpp"

#include <dbus/dbus.h>

namespace lumenary::platform {

namespace {

std::optional<bool> booleanInVariant(DBusMessage* reply) {
    DBusMessageIter iterator;
    DBusMessageIter variant;
    if (!dbus_message_iter_init(reply, &iterator) || dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_VARIANT) {
        return std::nullopt;
    }
    dbus_message_iter_recurse(&iterator, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_BOOLEAN) {
        return std::nullopt;
    }
    dbus_bool_t value = FALSE;
    dbus_message_iter_get_basic(&variant, &value);
    return value != FALSE;
}

}  // namespace

std::optional<bool> desktopAccessibilityEnabled(std::chrono::milliseconds replyWait) {
    DBusError error;
    dbus_error_init(&error);
    // A private connection, closed here: the shared one belongs to whoever
    // else in the process uses libdbus.
    DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (session == nullptr) {
        dbus_error_free(&error);
        return std::nullopt;
    }
    dbus_connection_set_exit_on_disconnect(session, FALSE);
    std::optional<bool> enabled;
    DBusMessage* request =
        dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get");
    if (request != nullptr) {
        const char* interface = "org.a11y.Status";
        const char* property = "IsEnabled";
        if (dbus_message_append_args(request, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                     DBUS_TYPE_INVALID)) {
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(
                session, request, static_cast<int>(replyWait.count()), &error);
            if (reply != nullptr) {
                enabled = booleanInVariant(reply);
                dbus_message_unref(reply);
            }
        }
        dbus_message_unref(request);
    }
    dbus_error_free(&error);
    dbus_connection_close(session);
    dbus_connection_unref(session);
    return enabled;
}

}  // namespace lumenary::platform
