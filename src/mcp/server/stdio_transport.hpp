#pragma once

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/strand.hpp>

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "mcp/core/transport.hpp"
#include "mcp/server/file_status_flags.hpp"

namespace lumenary::mcp {

// MCP over two file descriptors, one JSON text per line: reads
// newline-framed messages from `input` and writes each outgoing message
// followed by one 0x0A to `output`. Works whatever the descriptors are: a
// pipe, a socket, a terminal, a regular file or /dev/null.
//
// The descriptors are used, never owned: the transport works on duplicates
// and never closes the originals, and it gives them back with the file
// status flags they had.
//
// The short road, which a server on the same thread takes for every
// message: the reader waits until the input is readable, reads what is
// there and hands each line straight to a waiting consumer, which runs at
// once on the reader's thread; the replies it sends meanwhile are gathered
// and written in one call once the lines of that read are handed over. A
// send from anywhere else is written at once when nothing waits before it.
// Only what the peer does not take yet is left to a writer that waits for
// the output to drain. Input that is always ready (a device, a regular
// file, a pipe kept full) is read on without a wait, but the executor is
// given back between reads, so it never starves what else runs there.
//
// Its mutex guards all its state and is never held across a suspension or
// while a consumer runs; the strand only keeps the I/O on each duplicate to
// one operation at a time, as asio requires of one descriptor object. One
// exception: the flush of a forced exit, which has no executor to wait on,
// holds it while it polls for the peer to take the output, never past its
// deadline.
class StdioTransport final : public Transport, public std::enable_shared_from_this<StdioTransport> {
public:
    struct Limits {
        // A longer line is dropped and reported as an unreadable message.
        std::size_t maximumLineLength = 32 * 1024 * 1024;
        // Reading pauses while this many received messages, or bytes of
        // them, wait for the server, or while this many bytes of output wait
        // for the peer, so a peer that floods the input or stops reading
        // cannot make the process grow without bound.
        std::size_t maximumQueuedMessages = 1024;
        std::size_t maximumQueuedInputBytes = 64 * 1024 * 1024;
        std::size_t maximumQueuedOutputBytes = 8 * 1024 * 1024;
        // How long a disconnect waits for queued output to reach a peer that
        // has stopped reading before it closes the output all the same.
        std::chrono::milliseconds flushTimeLimit{5000};
    };

    static std::shared_ptr<StdioTransport> create(asio::any_io_executor executor, int input = STDIN_FILENO,
                                                  int output = STDOUT_FILENO,
                                                  std::optional<logging::Logger> logger = std::nullopt);
    static std::shared_ptr<StdioTransport> create(asio::any_io_executor executor, int input, int output,
                                                  std::optional<logging::Logger> logger, Limits limits);

    StdioTransport(const StdioTransport&) = delete;
    StdioTransport& operator=(const StdioTransport&) = delete;
    ~StdioTransport() override;

    logging::Logger logger() const override { return logger_; }
    asio::awaitable<void> connect() override;
    asio::awaitable<void> disconnect() override;
    asio::awaitable<void> send(SentMessage message) override;
    async::Queue<ReceivedMessage> receive() override { return messages_; }

    // Writes what every open transport has queued, from the calling thread,
    // while the peers take it and until `deadline` at the latest: the last
    // words of a process that ends without its executors (a forced exit),
    // which must not take replies already sent down with it. Never waits
    // past the deadline, not for a peer that has stopped reading, nor for a
    // thread that holds a transport. Callable from any thread.
    static void flushAllUntil(std::chrono::steady_clock::time_point deadline);

private:
    StdioTransport(asio::any_io_executor executor, int input, int output, logging::Logger logger, Limits limits);

    // What the reader does before its next read.
    enum class ReadStep { read, stop, waitForOutput, waitForConsumer };
    // Waiters to wake once the mutex is let go.
    struct Wakeups {
        std::vector<async::OneShot<void>> drained;
        std::vector<async::OneShot<void>> flushed;
        void resume();
    };

    // These run with mutex_ held.
    void openDescriptors();
    std::shared_ptr<asio::posix::stream_descriptor> takeInput();
    void closeDescriptors();
    std::size_t pendingOutputBytes() const { return pendingOutput_.size() - pendingOutputStart_; }
    // Writes queued output while the peer takes it. True when the peer took
    // less than all of it, so the writer must wait for room; a failure is
    // kept in writeFailure_ and drops the queued output.
    bool writePending(Wakeups& wakeups);

    asio::awaitable<void> readLoop(std::shared_ptr<asio::posix::stream_descriptor> input);
    bool connected();
    ReadStep nextReadStep(const std::shared_ptr<asio::posix::stream_descriptor>& input,
                          std::optional<async::OneShot<void>>& drained);
    void deliverLine(std::string line);
    // While the lines of one read are handed over, replies are only queued;
    // then they go out together.
    void holdOutput();
    void releaseOutput();
    void startWriter();
    asio::awaitable<void> writeLoop();
    // Writes what is queued, waiting for the peer until `deadline` and for
    // the lock until `lockDeadline`: replies of lines already handled still
    // go out when the process ends before the writer has written them (at
    // exit, with the flush time limit). Gives back the waiters for the
    // output to drain that it took, for the caller to wake once it has let
    // go of its locks.
    [[nodiscard]] std::vector<async::OneShot<void>> flushUntil(std::chrono::steady_clock::time_point deadline,
                                                               std::chrono::steady_clock::time_point lockDeadline);
    static void flushAllAtExit();

    asio::strand<asio::any_io_executor> strand_;
    const int inputDescriptor_;
    const int outputDescriptor_;
    const logging::Logger logger_;
    const Limits limits_;
    async::Queue<ReceivedMessage> messages_;

    // Timed, so that a flush at a forced exit waits for it no longer than
    // its deadline.
    std::timed_mutex mutex_;
    bool isConnected_ = false;
    SavedFileStatusFlags savedInputFlags_;
    SavedFileStatusFlags savedOutputFlags_;
    std::shared_ptr<asio::posix::stream_descriptor> input_;
    std::shared_ptr<asio::posix::stream_descriptor> output_;
    // Output not yet taken by the peer, whole lines in order from
    // pendingOutputStart_; one buffer, so a burst of replies costs neither
    // an allocation per line nor more than one system call.
    std::string pendingOutput_;
    std::size_t pendingOutputStart_ = 0;
    bool isOutputHeld_ = false;
    // The writer waits for the peer to take more; senders only queue.
    bool isWriting_ = false;
    std::exception_ptr writeFailure_;
    // Woken when the output has drained below its limit: senders held back
    // and the reader paused for it.
    std::vector<async::OneShot<void>> drainWaiters_;
    // Woken when the writer has nothing left: a disconnect waiting to close.
    std::vector<async::OneShot<void>> flushWaiters_;
};

}  // namespace lumenary::mcp
