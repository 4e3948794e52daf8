#pragma once

#include <memory>
#include <optional>
#include <string>

#include "support/child_process.hpp"

namespace lumenary::testing {

// A message bus of the test's own (dbus-daemon --session), so tests that
// need a session bus need no desktop. It starts services with the
// environment this process has when the bus starts. Stopped, with every
// service it started, when the object goes.
class PrivateSessionBus {
public:
    // Absent when dbus-daemon is not installed; throws when it is but does
    // not start.
    static std::unique_ptr<PrivateSessionBus> start();

    explicit PrivateSessionBus(const std::string& daemonPath);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    const std::string& address() const { return address_; }

private:
    ChildProcess daemon_;
    std::string address_;
};

// What a test that needs the bus says when dbus-daemon is missing.
inline constexpr const char* privateSessionBusMissing =
    "dbus-daemon is not installed (scripts/setup installs it): the music player tests need a bus of their own";

}  // namespace lumenary::testing
