#include "platform/desktop/accessibility_setting.hpp"

#include <dbus/dbus.h>

#include "platform/desktop/session_bus_call.hpp"

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
    std::optional<bool> enabled;
    DBusMessage* request =
        dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get");
    if (request == nullptr) {
        return enabled;
    }
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    if (dbus_message_append_args(request, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                 DBUS_TYPE_INVALID)) {
        if (DBusMessage* reply = callOnPrivateSessionBus(request, static_cast<int>(replyWait.count()))) {
            enabled = booleanInVariant(reply);
            dbus_message_unref(reply);
        }
    }
    dbus_message_unref(request);
    return enabled;
}

}  // namespace lumenary::platform
