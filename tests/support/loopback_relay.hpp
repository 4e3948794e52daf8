#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace lumenary::testing {

// A TCP relay on the loopback host for fault tests of network clients: every
// connection accepted on port() is forwarded to the target port, byte for
// byte in both directions, until a test breaks it on purpose. It runs on a
// thread of its own; every operation takes effect before it returns.
//
// A connection whose target refuses is accepted and closed at once, so the
// client sees a peer that accepts and drops.
class LoopbackRelay {
public:
    explicit LoopbackRelay(std::uint16_t targetPort);
    ~LoopbackRelay();
    LoopbackRelay(const LoopbackRelay&) = delete;
    LoopbackRelay& operator=(const LoopbackRelay&) = delete;

    // Where clients connect.
    std::uint16_t port() const noexcept;

    // Closes every open connection on both sides; the relay keeps accepting.
    void cutAll();

    // From now on each forwarding write carries at most `bytes` bytes and is
    // followed by `pause`. Zero bytes forwards at full speed again.
    void trickle(std::size_t bytes, std::chrono::milliseconds pause = std::chrono::milliseconds(0));

    // While stalled the relay reads nothing from either side, so the kernel's
    // buffers fill and a sender is held back; unstalling forwards what waits.
    void stall(bool stalled);

    // Connections accepted since the relay started, open or not.
    std::size_t connectionCount() const;

    // Connections open now (accepted and not yet closed on either side).
    std::size_t openConnectionCount() const;

    // True once `count` connections have been accepted; false past the
    // deadline.
    bool waitForConnectionCount(std::size_t count,
                                std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;

    // The relay's shared state; defined with the relay's code.
    struct State;

private:
    // Runs `change` on the relay's thread and returns once it has run.
    void runOnRelayThread(std::function<void(State&)> change) const;

    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace lumenary::testing
