#include "platform/desktop/atspi_accessibility.hpp"

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <cstdlib>

#include "platform/desktop/session_bus_call.hpp"
#include "platform/desktop/x_display.hpp"

namespace lumenary::platform {

namespace {

const std::string busMissing =
    "The accessibility bus does not answer: install at-spi2-core and run Lumenary in a desktop session with a "
    "session bus (DBUS_SESSION_BUS_ADDRESS).";

// Reads one libatspi value, dropping the error a failed read reports.
template <typename Read>
auto withoutError(Read read) {
    GError* error = nullptr;
    auto value = read(&error);
    const bool failed = error != nullptr;
    if (failed) {
        g_error_free(error);
    }
    return std::make_pair(failed, value);
}

// A text libatspi handed over, freed here.
std::optional<std::string> ownedText(bool failed, gchar* text) {
    if (failed || text == nullptr) {
        g_free(text);
        return std::nullopt;
    }
    std::string copy(text);
    g_free(text);
    return copy;
}

template <typename Interface>
struct InterfaceReference {
    explicit InterfaceReference(Interface* taken) : object(taken) {}
    ~InterfaceReference() {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
    InterfaceReference(const InterfaceReference&) = delete;
    InterfaceReference& operator=(const InterfaceReference&) = delete;
    Interface* object;
};

class AtspiElement final : public AccessibleElement {
public:
    // Takes over one reference.
    explicit AtspiElement(AtspiAccessible* accessible) : accessible_(accessible) {}
    ~AtspiElement() override { g_object_unref(accessible_); }
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    std::optional<std::string> roleName() override {
        auto [failed, text] = withoutError([this](GError** error) { return atspi_accessible_get_role_name(accessible_, error); });
        return ownedText(failed, text);
    }

    std::optional<std::string> name() override {
        auto [failed, text] = withoutError([this](GError** error) { return atspi_accessible_get_name(accessible_, error); });
        return ownedText(failed, text);
    }

    std::optional<std::string> description() override {
        auto [failed, text] =
            withoutError([this](GError** error) { return atspi_accessible_get_description(accessible_, error); });
        return ownedText(failed, text);
    }

    std::optional<std::string> text() override {
        InterfaceReference<AtspiText> text(atspi_accessible_get_text_iface(accessible_));
        if (text.object == nullptr) {
            return std::nullopt;
        }
        auto [countFailed, count] =
            withoutError([&text](GError** error) { return atspi_text_get_character_count(text.object, error); });
        if (countFailed || count < 0) {
            return std::nullopt;
        }
        auto [failed, contents] =
            withoutError([&text, count](GError** error) { return atspi_text_get_text(text.object, 0, count, error); });
        return ownedText(failed, contents);
    }

    std::optional<double> currentValue() override {
        InterfaceReference<AtspiValue> value(atspi_accessible_get_value_iface(accessible_));
        if (value.object == nullptr) {
            return std::nullopt;
        }
        auto [failed, current] =
            withoutError([&value](GError** error) { return atspi_value_get_current_value(value.object, error); });
        if (failed) {
            return std::nullopt;
        }
        return current;
    }

    std::optional<ScreenRectangle> extents() override {
        InterfaceReference<AtspiComponent> component(atspi_accessible_get_component_iface(accessible_));
        if (component.object == nullptr) {
            return std::nullopt;
        }
        auto [failed, box] = withoutError([&component](GError** error) {
            return atspi_component_get_extents(component.object, ATSPI_COORD_TYPE_SCREEN, error);
        });
        if (failed || box == nullptr) {
            g_free(box);
            return std::nullopt;
        }
        const ScreenRectangle rectangle{box->x, box->y, box->width, box->height};
        g_free(box);
        return rectangle;
    }

    std::optional<pid_t> processIdentifier() override {
        auto [failed, pid] =
            withoutError([this](GError** error) { return atspi_accessible_get_process_id(accessible_, error); });
        if (failed || pid == 0) {
            return std::nullopt;
        }
        return static_cast<pid_t>(pid);
    }

    int childCount() override {
        auto [failed, count] =
            withoutError([this](GError** error) { return atspi_accessible_get_child_count(accessible_, error); });
        return failed || count < 0 ? 0 : count;
    }

    std::unique_ptr<AccessibleElement> child(int index) override {
        auto [failed, child] = withoutError(
            [this, index](GError** error) { return atspi_accessible_get_child_at_index(accessible_, index, error); });
        if (child == nullptr) {
            return nullptr;
        }
        if (failed) {
            g_object_unref(child);
            return nullptr;
        }
        return std::make_unique<AtspiElement>(child);
    }

private:
    AtspiAccessible* accessible_;
};

// Asks the session bus for the accessibility bus's address; asking starts
// the bus's launcher when it is installed and not running yet.
std::optional<std::string> addressFromSessionBus() {
    std::optional<std::string> address;
    DBusMessage* request = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    if (request == nullptr) {
        return address;
    }
    if (DBusMessage* reply = callOnPrivateSessionBus(request, 5'000)) {
        DBusError error;
        dbus_error_init(&error);
        const char* text = nullptr;
        if (dbus_message_get_args(reply, &error, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) && text != nullptr &&
            *text != '\0') {
            address.emplace(text);
        }
        dbus_error_free(&error);
        dbus_message_unref(reply);
    }
    dbus_message_unref(request);
    return address;
}

// Whether a client can join the bus at `address`.
bool busAnswers(const std::string& address) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_connection_open_private(address.c_str(), &error);
    bool answers = false;
    if (bus != nullptr) {
        dbus_connection_set_exit_on_disconnect(bus, FALSE);
        answers = dbus_bus_register(bus, &error);
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
    }
    dbus_error_free(&error);
    return answers;
}

class AtspiAccessibility final : public Accessibility {
public:
    ~AtspiAccessibility() override {
        if (desktop_ != nullptr) {
            g_object_unref(desktop_);
        }
    }

    std::optional<std::string> unavailability() override {
        if (!connect()) {
            return busMissing;
        }
        auto [failed, count] =
            withoutError([this](GError** error) { return atspi_accessible_get_child_count(desktop_, error); });
        static_cast<void>(count);
        if (failed) {
            return busMissing;
        }
        return std::nullopt;
    }

    std::vector<std::unique_ptr<AccessibleElement>> applications() override {
        std::vector<std::unique_ptr<AccessibleElement>> applications;
        if (!connect()) {
            return applications;
        }
        AtspiElement desktop(static_cast<AtspiAccessible*>(g_object_ref(desktop_)));
        const int count = desktop.childCount();
        for (int index = 0; index < count; ++index) {
            if (auto application = desktop.child(index)) {
                applications.push_back(std::move(application));
            }
        }
        return applications;
    }

private:
    // libatspi answers a failed first connection with an abort on every
    // later call and never tries again, so it is started only once the bus
    // is known to answer, looked up the way libatspi looks it up.
    bool connect() {
        if (desktop_ != nullptr) {
            return true;
        }
        if (initFailed_ || !busReachable()) {
            return false;
        }
        if (atspi_init() > 1) {
            initFailed_ = true;
            return false;
        }
        desktop_ = atspi_get_desktop(0);
        return desktop_ != nullptr;
    }

    bool busReachable() {
        if (const char* address = std::getenv("AT_SPI_BUS_ADDRESS"); address != nullptr && *address != '\0') {
            return busAnswers(address);
        }
        const char* display = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (display != nullptr && *display != '\0' && wayland == nullptr) {
            // A connection of its own, closed once read: the X server must
            // not see a second client of ours for the life of the process.
            XDisplay server;
            if (auto address = server.rootProperty("AT_SPI_BUS")) {
                return busAnswers(*address);
            }
        }
        auto address = addressFromSessionBus();
        return address && busAnswers(*address);
    }

    AtspiAccessible* desktop_ = nullptr;
    // Within one process libatspi never recovers from a failed start.
    bool initFailed_ = false;
};

}  // namespace

std::unique_ptr<Accessibility> makeAtspiAccessibility() {
    return std::make_unique<AtspiAccessibility>();
}

}  // namespace lumenary::platform
