#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "async/queue.hpp"
#include "mcp/core/transport.hpp"
#include "mcp/server/stdio_transport.hpp"

namespace lumenary::app {

// The process's one reader and writer of its standard input and output,
// kept across stops and starts of the service: a second reader on the same
// descriptor would take lines meant for the first. What it reads goes to
// the server attached at the moment; while none is (the service is switched
// off), each request is answered with an error under its own id, so that
// the client learns at once and its pipe stays whole, and everything else
// is dropped.
//
// Concurrency: its mutex guards which server is attached and is never held
// across a suspension; the reading loop runs on the executor it was made
// with, and every member may be called from any thread.
class StandardIOChannel : public std::enable_shared_from_this<StandardIOChannel> {
public:
    static std::shared_ptr<StandardIOChannel> create(asio::any_io_executor executor, int input = STDIN_FILENO,
                                                     int output = STDOUT_FILENO);

    // A transport for one server, which receives what is read from now
    // until it disconnects, a detach, or another server is attached. What it sends reaches standard output even once detached,
    // so a call accepted before a stop still gets its answer.
    std::shared_ptr<mcp::Transport> attach();
    // No server gets what is read from now on; requests are refused.
    void detach();
    // Closes the streams, letting queued output drain first: the end of
    // the process.
    asio::awaitable<void> close();

private:
    class ServerEnd;

    StandardIOChannel(asio::any_io_executor executor, int input, int output);

    // Connects the streams on first use and starts reading them.
    asio::awaitable<void> open();
    asio::awaitable<void> readLoop();
    void disconnectEnd(std::uint64_t generation);
    asio::awaitable<void> refuse(const mcp::ReceivedMessage& message);

    asio::any_io_executor executor_;
    std::shared_ptr<mcp::StdioTransport> streams_;

    std::mutex mutex_;
    bool isOpen_ = false;
    bool inputEnded_ = false;
    // Counts attaches and detaches, so that an end let go of already does
    // not let go of its successor.
    std::uint64_t generation_ = 0;
    std::optional<async::Queue<mcp::ReceivedMessage>> attachedMessages_;
};

}  // namespace lumenary::app
