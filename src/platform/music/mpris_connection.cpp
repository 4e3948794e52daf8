#include "platform/music/mpris_connection.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/music/music_player.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr const char* busName = "org.freedesktop.DBus";
constexpr const char* busPath = "/org/freedesktop/DBus";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

// The short form users read: "Player.Play" for the Player interface's Play.
std::string memberLabel(const char* interface, const std::string& member) {
    std::string_view name(interface);
    if (name.starts_with(mprisBusNamePrefix)) {
        name.remove_prefix(mprisBusNamePrefix.size());
    }
    return std::string(name) + "." + member;
}

// The message without GDBus's "GDBus.Error:<name>: " prefix.
std::string errorMessage(const GError* error) {
    if (error == nullptr || error->message == nullptr) {
        return "unknown error";
    }
    GError* copy = g_error_copy(error);
    g_dbus_error_strip_remote_error(copy);
    std::string message = system::repairUTF8(copy->message);
    g_error_free(copy);
    return message;
}

std::string remoteErrorName(const GError* error) {
    if (!g_dbus_error_is_remote_error(error)) {
        return {};
    }
    char* name = g_dbus_error_get_remote_error(error);
    std::string text = name != nullptr ? name : "";
    g_free(name);
    return text;
}

// How a player that lacks an interface or a property answers, by binding:
// GDBus says InvalidArgs, others UnknownInterface or UnknownProperty.
bool isMissingMember(const GError* error) {
    const std::string name = remoteErrorName(error);
    return name == "org.freedesktop.DBus.Error.UnknownInterface" ||
           name == "org.freedesktop.DBus.Error.UnknownProperty" || name == "org.freedesktop.DBus.Error.InvalidArgs" ||
           name == "org.freedesktop.DBus.Error.UnknownMethod";
}

// The bus says NoReply when the player's connection went while the call
// waited (its own reply timeout is far past ours), ServiceUnknown when the
// name was gone before.
bool hasLeftTheBus(const GError* error) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY);
}

PlatformError playerFailure(std::string description) {
    return musicPlayerError(MusicPlayerFailure::callFailed, std::move(description));
}

PlatformError noSessionBus(std::string description) {
    return musicPlayerError(MusicPlayerFailure::noSessionBus, std::move(description));
}

// How a player answers a method it does not have, or has and will not do:
// Audacious 4.2 lists "file" among its URI schemes but has no OpenUri.
bool isUnsupportedMethod(const GError* error) {
    const std::string name = remoteErrorName(error);
    return name == "org.freedesktop.DBus.Error.UnknownMethod" || name == "org.freedesktop.DBus.Error.NotSupported";
}

// One status query of many in flight at once.
struct StatusQuery {
    std::vector<std::optional<std::string>>* statuses;
    std::size_t* pending;
    std::size_t index;
};

void statusArrived(GObject* source, GAsyncResult* result, gpointer data) {
    auto* query = static_cast<StatusQuery*>(data);
    GError* rawError = nullptr;
    GVariantPointer reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &rawError));
    GErrorPointer error(rawError);
    if (reply) {
        GVariant* boxed = nullptr;
        g_variant_get(reply.get(), "(v)", &boxed);
        GVariantPointer value(boxed);
        if (g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) {
            (*query->statuses)[query->index] = system::repairUTF8(g_variant_get_string(value.get(), nullptr));
        }
    }
    --*query->pending;
    delete query;
}

constexpr const char* sessionBusAdvice =
    "MPRIS players publish themselves on the desktop session's bus; start Lumenary inside that session or set "
    "DBUS_SESSION_BUS_ADDRESS to its address.";

// The session bus the environment names, else the one systemd keeps in the
// runtime folder. Unlike GLib's own lookup this never launches a bus of its
// own, which would find no players and outlive the call.
PlatformOutcome<std::string> sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0') {
        return std::string(address);
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat status {};
        if (::stat(socket.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)) {
            char* escaped = g_dbus_address_escape_value(socket.c_str());
            std::string address = std::string("unix:path=") + escaped;
            g_free(escaped);
            return address;
        }
    }
    return noSessionBus(
        std::string("Music player error: no session bus to find players on: DBUS_SESSION_BUS_ADDRESS is "
                    "not set and $XDG_RUNTIME_DIR/bus does not exist. ") +
        sessionBusAdvice);
}

}  // namespace

std::string mprisPlayerLabel(std::string_view busName) {
    if (busName.starts_with(mprisBusNamePrefix)) {
        busName.remove_prefix(mprisBusNamePrefix.size());
    }
    return std::string(busName);
}

PlatformOutcome<MprisConnection> MprisConnection::open(const std::optional<std::string>& busAddress,
                                                       std::chrono::milliseconds callTimeout) {
    auto address = busAddress ? PlatformOutcome<std::string>(*busAddress) : sessionBusAddress();
    if (!address) {
        return address.error();
    }
    GError* rawError = nullptr;
    // Not g_bus_get: its shared connection ends the process when the bus
    // goes away, and it never notices that the environment names another.
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.value().c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &rawError);
    if (connection == nullptr) {
        GErrorPointer error(rawError);
        return noSessionBus("Music player error: cannot connect to the session bus at " +
                            system::repairUTF8(address.value()) + ": " + errorMessage(error.get()) + ". " +
                            sessionBusAdvice);
    }
    return MprisConnection(connection, callTimeout);
}

MprisConnection::MprisConnection(GDBusConnection* connection, std::chrono::milliseconds callTimeout)
    : connection_(connection), callTimeout_(callTimeout) {}

MprisConnection::MprisConnection(MprisConnection&& other) noexcept
    : connection_(std::exchange(other.connection_, nullptr)), callTimeout_(other.callTimeout_) {}

MprisConnection::~MprisConnection() {
    if (connection_ != nullptr) {
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
    }
}

GVariant* MprisConnection::callSync(const std::string& destination, const char* objectPath, const char* interface,
                                    const char* method, GVariant* parameters, const GVariantType* replyType,
                                    GError** error) {
    // No auto-start: a player that is not running is not started by asking.
    return g_dbus_connection_call_sync(connection_, destination.c_str(), objectPath, interface, method, parameters,
                                       replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                       static_cast<gint>(callTimeout_.count()), nullptr, error);
}

PlatformError MprisConnection::callFailure(const std::string& destination, const std::string& member,
                                           const GError* error) const {
    const std::string player = mprisPlayerLabel(destination);
    const std::string advice(mprisPlayerChoiceAdvice);
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
        const auto milliseconds = callTimeout_.count();
        const std::string limit = milliseconds % 1000 == 0 ? std::to_string(milliseconds / 1000) + " s"
                                                           : std::to_string(milliseconds) + " ms";
        return playerFailure("Music player error: " + player + " did not answer " + member + " within " + limit + ". " +
                             advice);
    }
    if (hasLeftTheBus(error)) {
        return playerFailure("Music player error: " + player + " left the session bus before it answered " + member +
                             ". " + advice);
    }
    return playerFailure("Music player error: " + player + " failed " + member + ": " + errorMessage(error) + ". " +
                         advice);
}

PlatformOutcome<std::vector<std::string>> MprisConnection::playerBusNames() {
    GError* rawError = nullptr;
    GVariantPointer reply(callSync(busName, busPath, busName, "ListNames", nullptr, G_VARIANT_TYPE("(as)"), &rawError));
    if (!reply) {
        GErrorPointer error(rawError);
        return playerFailure("Music player error: the session bus did not list its names: " +
                             errorMessage(error.get()) + ". " + sessionBusAdvice);
    }
    std::vector<std::string> players;
    GVariantIter* names = nullptr;
    g_variant_get(reply.get(), "(as)", &names);
    const char* name = nullptr;
    while (g_variant_iter_next(names, "&s", &name)) {
        const std::string_view text(name);
        if (text.starts_with(mprisBusNamePrefix) && text.size() > mprisBusNamePrefix.size()) {
            players.emplace_back(text);
        }
    }
    g_variant_iter_free(names);
    std::sort(players.begin(), players.end());
    return players;
}

std::vector<std::optional<std::string>> MprisConnection::playbackStatuses(const std::vector<std::string>& busNames) {
    std::vector<std::optional<std::string>> statuses(busNames.size());
    std::size_t pending = busNames.size();
    // The replies arrive in a context of this call's own, so nothing else's
    // main loop sees them and the wait ends with the last one.
    GMainContextPointer context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    for (std::size_t index = 0; index < busNames.size(); ++index) {
        g_dbus_connection_call(connection_, busNames[index].c_str(), mprisObjectPath, propertiesInterface, "Get",
                               g_variant_new("(ss)", mprisPlayerInterface, "PlaybackStatus"), G_VARIANT_TYPE("(v)"),
                               G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<gint>(callTimeout_.count()), nullptr,
                               statusArrived, new StatusQuery{&statuses, &pending, index});
    }
    // Every call ends, by its reply or its timeout, so the wait is bounded.
    while (pending > 0) {
        g_main_context_iteration(context.get(), TRUE);
    }
    g_main_context_pop_thread_default(context.get());
    return statuses;
}

PlatformOutcome<std::optional<GVariantPointer>> MprisConnection::properties(const std::string& destination,
                                                                            const char* interface) {
    GError* rawError = nullptr;
    GVariantPointer reply(callSync(destination, mprisObjectPath, propertiesInterface, "GetAll",
                                   g_variant_new("(s)", interface), G_VARIANT_TYPE("(a{sv})"), &rawError));
    GErrorPointer error(rawError);
    if (!reply) {
        if (isMissingMember(error.get())) {
            return std::optional<GVariantPointer>();
        }
        return callFailure(destination, memberLabel(interface, "properties"), error.get());
    }
    return std::optional<GVariantPointer>(g_variant_get_child_value(reply.get(), 0));
}

PlatformOutcome<std::optional<GVariantPointer>> MprisConnection::property(const std::string& destination,
                                                                          const char* interface, const char* name) {
    GError* rawError = nullptr;
    GVariantPointer reply(callSync(destination, mprisObjectPath, propertiesInterface, "Get",
                                   g_variant_new("(ss)", interface, name), G_VARIANT_TYPE("(v)"), &rawError));
    GErrorPointer error(rawError);
    if (!reply) {
        if (isMissingMember(error.get())) {
            return std::optional<GVariantPointer>();
        }
        return callFailure(destination, memberLabel(interface, name), error.get());
    }
    GVariant* value = nullptr;
    g_variant_get(reply.get(), "(v)", &value);
    return std::optional<GVariantPointer>(value);
}

std::optional<PlatformError> MprisConnection::setProperty(const std::string& destination, const char* interface,
                                                          const char* name, GVariant* value) {
    GError* rawError = nullptr;
    GVariantPointer reply(callSync(destination, mprisObjectPath, propertiesInterface, "Set",
                                   g_variant_new("(ssv)", interface, name, value), nullptr, &rawError));
    if (!reply) {
        GErrorPointer error(rawError);
        return callFailure(destination, memberLabel(interface, name), error.get());
    }
    return std::nullopt;
}

PlatformOutcome<GVariantPointer> MprisConnection::call(const std::string& destination, const char* interface,
                                                       const char* method, GVariant* parameters,
                                                       const GVariantType* replyType) {
    GError* rawError = nullptr;
    GVariantPointer reply(callSync(destination, mprisObjectPath, interface, method, parameters, replyType, &rawError));
    if (!reply) {
        GErrorPointer error(rawError);
        return callFailure(destination, memberLabel(interface, method), error.get());
    }
    return reply;
}

PlatformOutcome<std::optional<GVariantPointer>> MprisConnection::callIfSupported(const std::string& destination,
                                                                                 const char* interface,
                                                                                 const char* method,
                                                                                 GVariant* parameters,
                                                                                 const GVariantType* replyType) {
    GError* rawError = nullptr;
    GVariantPointer reply(callSync(destination, mprisObjectPath, interface, method, parameters, replyType, &rawError));
    if (!reply) {
        GErrorPointer error(rawError);
        if (isUnsupportedMethod(error.get())) {
            return std::optional<GVariantPointer>();
        }
        return callFailure(destination, memberLabel(interface, method), error.get());
    }
    return std::optional<GVariantPointer>(std::move(reply));
}

}  // namespace lumenary::platform
