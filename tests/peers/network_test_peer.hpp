#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mcp/core/value.hpp"

namespace lumenary::mcp::testing {

// The note both ends of the network tests send each other.
struct PeerNoteNotification {
    static constexpr std::string_view name = "notifications/peer/note";
    using Parameters = Value;
};

// An MCP peer on the loopback host for tests and benchmarks of network
// clients: our Server, one per accepted connection, behind the network
// framing (messages with 0x0A, heartbeat records skipped, one writer). It
// runs on a thread of its own; every operation takes effect before it
// returns.
//
// Its tools: "echo" answers with its arguments as JSON text; "notify" sends
// a PeerNoteNotification carrying its arguments before it answers; "hold"
// answers only when the connection or the peer goes. Notes the client sends
// are kept.
class NetworkTestPeer {
public:
    struct Options {
        // Heartbeat records at this interval on every connection, queued with
        // the replies so that they share writes; zero sends none.
        std::chrono::milliseconds heartbeatInterval{0};
        // Accepts and closes at once, as a peer that is going away.
        bool acceptAndClose = false;
    };

    explicit NetworkTestPeer(Options options);
    NetworkTestPeer() : NetworkTestPeer(Options{}) {}
    ~NetworkTestPeer();
    NetworkTestPeer(const NetworkTestPeer&) = delete;
    NetworkTestPeer& operator=(const NetworkTestPeer&) = delete;

    std::uint16_t port() const noexcept;

    // Connections accepted since the peer started.
    std::size_t connectionCount() const;
    bool waitForConnectionCount(std::size_t count,
                                std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;

    // Every open connection gets the first half of a message, then closes.
    void dieMidMessage();
    // Closes the listener and every connection: connecting is refused.
    void stopListening();
    // Listens again on the same port.
    void listenAgain();

    // "hold" calls that have reached the peer, answered or not.
    std::size_t heldCalls() const;

    // The notes received so far, as JSON text, in order.
    std::vector<std::string> notes() const;
    bool waitForNotes(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;

    struct State;

private:
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace lumenary::mcp::testing
