#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/process/spawned_process.hpp"
#include "support/private_session_bus.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::testing {

// A private desktop for tests: an Xvfb display on a free display number
// (so parallel tests never collide) and a private session bus, both
// announced to this process through DISPLAY and DBUS_SESSION_BUS_ADDRESS
// (put back as they were when the session goes). Programs the test starts
// afterwards inherit them. Desktop settings live in memory only
// (GSETTINGS_BACKEND), so nothing a test does reaches the user's own.
//
// Start it once per test program: a display and a bus take a good part of
// a second to come up. On destruction the bus goes with everything it
// started, then the display.
class DesktopSession {
public:
    // The running session, or why there is none (a missing program, one
    // that failed to start): a reason for a test to skip.
    static std::variant<std::unique_ptr<DesktopSession>, std::string> start(
        std::chrono::milliseconds deadline = std::chrono::seconds(20));

    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // ":N"
    const std::string& display() const noexcept { return display_; }
    const std::string& busAddress() const noexcept { return bus_->address(); }

    // Asks the session bus for the accessibility bus's address, which
    // starts the accessibility bus and its registry (at-spi2-core); the
    // address, or why there is none.
    std::variant<std::string, std::string> startAccessibilityBus(std::chrono::milliseconds deadline);

    // The desktop's accessibility setting (IsEnabled of org.a11y.Status);
    // absent when the accessibility bus does not answer.
    std::optional<bool> accessibilityEnabled();

private:
    DesktopSession() = default;

    ScopedEnvironment environment_;
    TemporaryDirectory runtimeDirectory_;
    std::optional<platform::SpawnedProcess> server_;
    std::unique_ptr<PrivateSessionBus> bus_;
    std::string display_;
};

}  // namespace lumenary::testing
