#include "peers/fake_mpris_player.hpp"

#include <cstdio>
#include <stdexcept>

namespace lumenary::testing {

namespace {

constexpr const char* rootInterface = "org.mpris.MediaPlayer2";
constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* playlistsInterface = "org.mpris.MediaPlayer2.Playlists";

std::string introspection(const FakePlayerShape& shape) {
    std::string xml =
        "<node>"
        "<interface name='org.mpris.MediaPlayer2'>"
        "<method name='Raise'/><method name='Quit'/>"
        "<property name='Identity' type='s' access='read'/>"
        "<property name='SupportedUriSchemes' type='as' access='read'/>"
        "</interface>"
        "<interface name='org.mpris.MediaPlayer2.Player'>"
        "<method name='Next'/><method name='Previous'/><method name='Pause'/><method name='PlayPause'/>"
        "<method name='Stop'/><method name='Play'/>";
    if (shape.hasOpenUri) {
        xml += "<method name='OpenUri'><arg name='Uri' type='s' direction='in'/></method>";
    }
    xml +=
        "<property name='PlaybackStatus' type='s' access='read'/>"
        "<property name='Metadata' type='a{sv}' access='read'/>"
        "<property name='Position' type='x' access='read'/>"
        "<property name='Volume' type='d' access='readwrite'/>"
        "<property name='CanPlay' type='b' access='read'/>"
        "<property name='CanPause' type='b' access='read'/>"
        "<property name='CanGoNext' type='b' access='read'/>"
        "<property name='CanGoPrevious' type='b' access='read'/>"
        "<property name='CanControl' type='b' access='read'/>";
    if (shape.hasShuffle) {
        xml += "<property name='Shuffle' type='b' access='readwrite'/>";
    }
    xml += "</interface>";
    if (shape.offersPlaylists) {
        xml +=
            "<interface name='org.mpris.MediaPlayer2.Playlists'>"
            "<method name='ActivatePlaylist'><arg name='PlaylistId' type='o' direction='in'/></method>"
            "<method name='GetPlaylists'><arg name='Index' type='u' direction='in'/>"
            "<arg name='MaxCount' type='u' direction='in'/><arg name='Order' type='s' direction='in'/>"
            "<arg name='ReverseOrder' type='b' direction='in'/><arg name='Playlists' type='a(oss)' direction='out'/>"
            "</method>"
            "<property name='PlaylistCount' type='u' access='read'/>"
            "<property name='Orderings' type='as' access='read'/>"
            "</interface>";
    }
    return xml + "</node>";
}

std::string shortName(const std::string& interface) {
    const std::string prefix = "org.mpris.MediaPlayer2.";
    if (interface.rfind(prefix, 0) == 0) {
        return interface.substr(prefix.size());
    }
    return interface == rootInterface ? "MediaPlayer2" : interface;
}

// Doubles to six significant digits, so 0.42 reads "0.42".
std::string printed(GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", g_variant_get_double(value));
        return text;
    }
    gchar* text = g_variant_print(value, FALSE);
    std::string printedText = text;
    g_free(text);
    return printedText;
}

const GDBusInterfaceVTable vtable{};

}  // namespace

FakeMprisPlayer::FakeMprisPlayer(const std::string& busAddress, FakePlayerShape shape, FakePlayerState state)
    : shape_(std::move(shape)), state_(std::move(state)) {
    GError* error = nullptr;
    node_ = g_dbus_node_info_new_for_xml(introspection(shape_).c_str(), &error);
    if (node_ == nullptr) {
        throw std::runtime_error(std::string("fake player introspection: ") + error->message);
    }
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    connection_ = g_dbus_connection_new_for_address_sync(
        busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (connection_ == nullptr) {
        throw std::runtime_error(std::string("fake player connection: ") + error->message);
    }
    // Calls are dispatched in the context that is the thread's default at
    // registration: the player's own, run by its thread.
    static GDBusInterfaceVTable handlers = vtable;
    handlers.method_call = &FakeMprisPlayer::methodCall;
    g_main_context_push_thread_default(context_);
    for (GDBusInterfaceInfo** interface = node_->interfaces; *interface != nullptr; ++interface) {
        registrations_.push_back(g_dbus_connection_register_object(connection_, "/org/mpris/MediaPlayer2", *interface,
                                                                   &handlers, this, nullptr, &error));
        if (registrations_.back() == 0) {
            g_main_context_pop_thread_default(context_);
            throw std::runtime_error(std::string("fake player registration: ") + error->message);
        }
    }
    g_main_context_pop_thread_default(context_);
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    const std::string busName = "org.mpris.MediaPlayer2." + shape_.name;
    GVariant* reply =
        g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", busName.c_str(), 4U),
                                    G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (reply == nullptr) {
        throw std::runtime_error(std::string("fake player name: ") + error->message);
    }
    g_variant_unref(reply);
}

FakeMprisPlayer::~FakeMprisPlayer() {
    // Quit from inside the loop: a quit before the thread has entered it
    // would be forgotten.
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
    for (GDBusMethodInvocation* invocation : held_) {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.example.Fake.Stopped", "the fake player stopped");
    }
    for (unsigned registration : registrations_) {
        g_dbus_connection_unregister_object(connection_, registration);
    }
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    g_dbus_node_info_unref(node_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void FakeMprisPlayer::setState(FakePlayerState state) {
    std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

std::vector<std::string> FakeMprisPlayer::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeMprisPlayer::leave() {
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
}

void FakeMprisPlayer::methodCall(GDBusConnection*, const char*, const char*, const char* interface, const char* method,
                                 GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    static_cast<FakeMprisPlayer*>(self)->answer(interface, method, parameters, invocation);
}

void FakeMprisPlayer::answer(const std::string& interface, const std::string& method, GVariant* parameters,
                             GDBusMethodInvocation* invocation) {
    std::string call;
    GVariant* reply = nullptr;
    bool unknownProperty = false;
    std::optional<std::string> refusal;
    bool hold = shape_.neverAnswers;
    {
        std::lock_guard lock(mutex_);
        if (interface == "org.freedesktop.DBus.Properties" && method == "Get") {
            const char* target = nullptr;
            const char* name = nullptr;
            g_variant_get(parameters, "(&s&s)", &target, &name);
            call = "Get " + shortName(target) + "." + name;
            if (!hold) {
                GVariant* value = propertyValue(target, name);
                unknownProperty = value == nullptr;
                reply = value ? g_variant_new("(v)", value) : nullptr;
            }
        } else if (interface == "org.freedesktop.DBus.Properties" && method == "GetAll") {
            const char* target = nullptr;
            g_variant_get(parameters, "(&s)", &target);
            call = "GetAll " + shortName(target);
            if (!hold) {
                reply = g_variant_new("(@a{sv})", allProperties(target));
            }
        } else if (interface == "org.freedesktop.DBus.Properties" && method == "Set") {
            const char* target = nullptr;
            const char* name = nullptr;
            GVariant* value = nullptr;
            g_variant_get(parameters, "(&s&sv)", &target, &name, &value);
            call = "Set " + shortName(target) + "." + name + " " + printed(value);
            if (std::string(name) == "Volume" && g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
                state_.volume = g_variant_get_double(value);
            } else if (std::string(name) == "Shuffle" && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
                state_.shuffle = g_variant_get_boolean(value) != FALSE;
            }
            g_variant_unref(value);
            reply = g_variant_new("()");
        } else if (interface == playlistsInterface && method == "GetPlaylists") {
            guint32 index = 0;
            guint32 maximum = 0;
            const char* order = nullptr;
            gboolean reverse = FALSE;
            g_variant_get(parameters, "(uu&sb)", &index, &maximum, &order, &reverse);
            call = "Playlists.GetPlaylists " + std::to_string(index) + " " + std::to_string(maximum) + " " + order +
                   (reverse ? " reversed" : "");
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE("a(oss)"));
            for (std::size_t item = index; item < state_.playlists.size() && item - index < maximum; ++item) {
                const std::string path = "/playlist/" + std::to_string(item);
                g_variant_builder_add(&builder, "(oss)", path.c_str(), state_.playlists[item].c_str(), "");
            }
            reply = g_variant_new("(a(oss))", &builder);
        } else if (interface == playerInterface && method == "OpenUri") {
            const char* uri = nullptr;
            g_variant_get(parameters, "(&s)", &uri);
            call = "Player.OpenUri " + std::string(uri);
            refusal = shape_.openUriError;
            reply = refusal ? nullptr : g_variant_new("()");
        } else if (interface == playlistsInterface && method == "ActivatePlaylist") {
            const char* path = nullptr;
            g_variant_get(parameters, "(&o)", &path);
            call = "Playlists.ActivatePlaylist " + std::string(path);
            reply = g_variant_new("()");
        } else {
            call = shortName(interface) + "." + method;
            reply = g_variant_new("()");
            if (shape_.leavesOn == method) {
                hold = true;
            }
        }
        calls_.push_back(call);
        if (hold) {
            held_.push_back(invocation);
        }
    }
    if (hold) {
        if (reply != nullptr) {
            g_variant_unref(g_variant_ref_sink(reply));
        }
        if (shape_.leavesOn && !shape_.neverAnswers) {
            g_dbus_connection_close(connection_, nullptr, nullptr, nullptr);
        }
        return;
    }
    if (refusal) {
        g_dbus_method_invocation_return_dbus_error(invocation, refusal->c_str(), "the fake player refuses OpenUri");
        return;
    }
    if (unknownProperty) {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownProperty",
                                                   "no such property");
        return;
    }
    g_dbus_method_invocation_return_value(invocation, reply);
}

GVariant* FakeMprisPlayer::propertyValue(const std::string& interface, const std::string& name) {
    if (interface == rootInterface && name == "Identity") {
        return g_variant_new_string(("Fake " + shape_.name).c_str());
    }
    if (interface == rootInterface && name == "SupportedUriSchemes") {
        const char* const schemes[] = {"http", "file"};
        return g_variant_new_strv(shape_.opensFiles ? schemes : schemes + 1, shape_.opensFiles ? 2 : 0);
    }
    if (interface == playerInterface) {
        if (name == "PlaybackStatus") return g_variant_new_string(state_.playbackStatus.c_str());
        if (name == "Metadata") {
            GError* error = nullptr;
            GVariant* metadata =
                g_variant_parse(G_VARIANT_TYPE_VARDICT, state_.metadata.c_str(), nullptr, nullptr, &error);
            if (metadata == nullptr) {
                g_error_free(error);
                return nullptr;
            }
            return metadata;
        }
        if (name == "Position") return state_.position ? g_variant_new_int64(*state_.position) : nullptr;
        if (name == "Volume") return g_variant_new_double(state_.volume);
        if (name == "CanPlay") return g_variant_new_boolean(state_.canPlay);
        if (name == "CanPause") return g_variant_new_boolean(state_.canPause);
        if (name == "CanGoNext") return g_variant_new_boolean(state_.canGoNext);
        if (name == "CanGoPrevious") return g_variant_new_boolean(state_.canGoPrevious);
        if (name == "CanControl") return g_variant_new_boolean(state_.canControl);
        if (name == "Shuffle" && shape_.hasShuffle) return g_variant_new_boolean(state_.shuffle);
    }
    if (interface == playlistsInterface && shape_.offersPlaylists) {
        if (name == "PlaylistCount") return g_variant_new_uint32(static_cast<guint32>(state_.playlists.size()));
        if (name == "Orderings") {
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE_STRING_ARRAY);
            for (const auto& ordering : state_.orderings) {
                g_variant_builder_add(&builder, "s", ordering.c_str());
            }
            return g_variant_builder_end(&builder);
        }
    }
    return nullptr;
}

GVariant* FakeMprisPlayer::allProperties(const std::string& interface) {
    static const char* const names[] = {"Identity", "PlaybackStatus", "Metadata",  "Position",      "Volume",
                                        "CanPlay",  "CanPause",       "CanGoNext", "CanGoPrevious", "CanControl",
                                        "Shuffle",  "PlaylistCount",  "Orderings"};
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (const char* name : names) {
        if (GVariant* value = propertyValue(interface, name)) {
            g_variant_builder_add(&builder, "{sv}", name, value);
        }
    }
    return g_variant_builder_end(&builder);
}

}  // namespace lumenary::testing
