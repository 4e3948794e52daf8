#include "support/desktop_session.hpp"

#include <dbus/dbus.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <functional>

#include "system/owned_descriptor.hpp"

namespace lumenary::testing {

namespace {

using Clock = std::chrono::steady_clock;

// The first line a child writes to `descriptor`, without its newline;
// absent when none comes before the deadline or the child closes it first.
std::optional<std::string> firstLine(int descriptor, Clock::time_point deadline) {
    std::string text;
    for (;;) {
        if (const auto end = text.find('\n'); end != std::string::npos) {
            return text.substr(0, end);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd poller{descriptor, POLLIN, 0};
        if (left <= 0 || ::poll(&poller, 1, static_cast<int>(left)) <= 0) {
            return std::nullopt;
        }
        char chunk[256];
        const ssize_t count = ::read(descriptor, chunk, sizeof chunk);
        if (count <= 0) {
            return std::nullopt;
        }
        text.append(chunk, static_cast<std::size_t>(count));
    }
}

bool programExists(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const auto end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (programExists(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

// Starts `program` with its standard output on a pipe and reads the first
// line it prints there.
std::variant<std::pair<platform::SpawnedProcess, std::string>, std::string> startAndReadLine(
    const std::string& program, const std::vector<std::string>& arguments, Clock::time_point deadline) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return "cannot make a pipe for " + program;
    }
    system::OwnedDescriptor reading(pipeEnds[0]);
    system::OwnedDescriptor writing(pipeEnds[1]);
    auto spawned = platform::SpawnedProcess::spawn(
        program, arguments, {.standardInput = -1, .standardOutput = writing.get(), .standardError = -1,
                             .ownProcessGroup = true});
    if (!spawned) {
        return program + " did not start: " + spawned.error().description;
    }
    writing.reset();
    auto line = firstLine(reading.get(), deadline);
    if (!line || line->empty()) {
        return program + " printed nothing in time";
    }
    return std::pair<platform::SpawnedProcess, std::string>(std::move(spawned).value(), *line);
}

void stop(std::optional<platform::SpawnedProcess>& process) {
    if (!process) {
        return;
    }
    const pid_t group = process->pid();
    process->signal(SIGTERM);
    if (!process->waitForExit(Clock::now() + std::chrono::seconds(3))) {
        process->signal(SIGKILL);
        process->waitForExit();
    }
    // Whatever the leader started and left behind in its group.
    ::kill(-group, SIGKILL);
    process.reset();
}

}  // namespace

std::variant<std::unique_ptr<DesktopSession>, std::string> DesktopSession::start(std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    const auto server = findOnPath("Xvfb");
    if (!server) {
        return std::string("Xvfb is not installed (Debian package xvfb)");
    }
    if (!findOnPath("dbus-daemon")) {
        return std::string("dbus-daemon is not installed (Debian package dbus-daemon)");
    }
    std::unique_ptr<DesktopSession> session(new DesktopSession());

    auto display = startAndReadLine(*server,
                                    {"-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"},
                                    until);
    if (auto* failure = std::get_if<std::string>(&display)) {
        return *failure;
    }
    auto& [serverProcess, displayNumber] = std::get<0>(display);
    session->server_.emplace(std::move(serverProcess));
    session->display_ = ":" + displayNumber;

    std::filesystem::permissions(session->runtimeDirectory_.path(), std::filesystem::perms::owner_all);
    session->environment_.set("DISPLAY", session->display_);
    session->environment_.set("WAYLAND_DISPLAY", std::nullopt);
    session->environment_.set("XDG_RUNTIME_DIR", session->runtimeDirectory_.path().string());
    session->environment_.set("GSETTINGS_BACKEND", "memory");
    session->environment_.set("AT_SPI_BUS_ADDRESS", std::nullopt);
    session->environment_.set("NO_AT_BRIDGE", std::nullopt);

    // After the environment above, which the bus hands to what it starts.
    try {
        session->bus_ = PrivateSessionBus::start();
    } catch (const std::exception& failure) {
        return std::string(failure.what());
    }
    if (!session->bus_) {
        return std::string("dbus-daemon is not installed (Debian package dbus-daemon)");
    }
    session->environment_.set("DBUS_SESSION_BUS_ADDRESS", session->bus_->address());
    return session;
}

DesktopSession::~DesktopSession() {
    bus_.reset();
    stop(server_);
}

namespace {

// Calls one method of org.a11y.Bus on the session bus at `address` and
// hands the reply to `read`; the error text when there is no reply.
std::optional<std::string> callAccessibilityBus(const std::string& address, const char* interface, const char* method,
                                                const std::function<void(DBusMessage*)>& appendArguments,
                                                const std::function<bool(DBusMessage*)>& read,
                                                std::chrono::milliseconds deadline) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(address.c_str(), &error);
    bool answered = false;
    if (connection != nullptr) {
        dbus_connection_set_exit_on_disconnect(connection, FALSE);
        if (dbus_bus_register(connection, &error)) {
            DBusMessage* request = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", interface, method);
            appendArguments(request);
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(
                connection, request, static_cast<int>(deadline.count()), &error);
            if (reply != nullptr) {
                answered = read(reply);
                dbus_message_unref(reply);
            }
            dbus_message_unref(request);
        }
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
    std::optional<std::string> failure;
    if (!answered) {
        failure = dbus_error_is_set(&error) ? error.message : "no answer";
    }
    dbus_error_free(&error);
    return failure;
}

}  // namespace

std::variant<std::string, std::string> DesktopSession::startAccessibilityBus(std::chrono::milliseconds deadline) {
    using Answer = std::variant<std::string, std::string>;
    if (!programExists("/usr/libexec/at-spi-bus-launcher")) {
        return Answer(std::in_place_index<1>, "at-spi2-core is not installed (Debian package at-spi2-core)");
    }
    std::string address;
    const auto failure = callAccessibilityBus(
        busAddress(), "org.a11y.Bus", "GetAddress", [](DBusMessage*) {},
        [&address](DBusMessage* reply) {
            const char* text = nullptr;
            if (!dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID)) {
                return false;
            }
            address = text;
            return true;
        },
        deadline);
    if (failure) {
        return Answer(std::in_place_index<1>, "the accessibility bus did not start: " + *failure);
    }
    return Answer(std::in_place_index<0>, address);
}

std::optional<bool> DesktopSession::accessibilityEnabled() {
    bool enabled = false;
    const auto failure = callAccessibilityBus(
        busAddress(), "org.freedesktop.DBus.Properties", "Get",
        [](DBusMessage* request) {
            const char* interface = "org.a11y.Status";
            const char* property = "IsEnabled";
            dbus_message_append_args(request, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                     DBUS_TYPE_INVALID);
        },
        [&enabled](DBusMessage* reply) {
            DBusMessageIter iterator;
            DBusMessageIter variant;
            if (!dbus_message_iter_init(reply, &iterator) ||
                dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_VARIANT) {
                return false;
            }
            dbus_message_iter_recurse(&iterator, &variant);
            if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_BOOLEAN) {
                return false;
            }
            dbus_bool_t value = FALSE;
            dbus_message_iter_get_basic(&variant, &value);
            enabled = value != FALSE;
            return true;
        },
        std::chrono::seconds(5));
    return failure ? std::nullopt : std::optional<bool>(enabled);
}

}  // namespace lumenary::testing
