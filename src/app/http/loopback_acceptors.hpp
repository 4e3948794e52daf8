#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/ip/tcp.hpp>

namespace lumenary::http {

// Listening sockets on the loopback interface, one per executor and address,
// all on one port: each executor's thread accepts connections of its own, so
// no one thread reads every request. The system spreads new connections
// over them by the CPU the client connects from, so that a client that stays
// on one CPU keeps reaching the same thread.
//
// The sockets share the port with one another only: a port that another
// program listens on, even one that lets others share it, is refused.
struct LoopbackAcceptors {
    std::vector<std::shared_ptr<asio::ip::tcp::acceptor>> acceptors;
    std::uint16_t port = 0;
};

// Listens on 127.0.0.1 (and on ::1 where the system has it) on
// `preferredPort`, or on one the system chose when it is 0. Throws the
// system's error (an asio::system_error) when it cannot listen on 127.0.0.1;
// what it had opened is closed then.
LoopbackAcceptors listenOnLoopback(const std::vector<asio::any_io_executor>& executors, std::uint16_t preferredPort);

}  // namespace lumenary::http
