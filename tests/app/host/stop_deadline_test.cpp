// The forced end of a stop, in a child process of its own: the child's
// executor never runs again once it has queued its output, as when a call
// stuck on it holds the stop, so only the deadline can still write that
// output and end the process.
#include "app/host/stop_deadline.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "async/context_runner.hpp"
#include "mcp/server/stdio_transport.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;

constexpr int forcedExitStatus = 7;

// Half as much again as the pipe holds: the rest stays queued, and takes one
// write once the reader has emptied the pipe, which it has most of the
// limit to do.
std::size_t queuedBytesFor(int pipe) {
    return static_cast<std::size_t>(::fcntl(pipe, F_GETPIPE_SZ)) * 3 / 2;
}

// In the child: queues more output than the pipe holds, arms the deadline
// and never lets the executor write it. Never returns.
[[noreturn]] void queueOutputAndStall(int output, std::size_t queuedBytes) {
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    asio::io_context io;
    auto transport = mcp::StdioTransport::create(io.get_executor(), nothing, output);
    async::test::runToEnd(io, transport->connect());
    async::test::runToEnd(io, transport->send(std::string(queuedBytes, 'x')));
    StopDeadline::arm(1s, {}, forcedExitStatus);
    // Only the deadline may end the child; should it not, this does, with a
    // status the test refuses.
    ::sleep(30);
    std::_Exit(2);
}

// All the reader gets until the end of the output.
std::string readToEnd(int input) {
    std::string received;
    char buffer[65536];
    for (;;) {
        pollfd readable{input, POLLIN, 0};
        if (::poll(&readable, 1, 20'000) != 1) return received;
        const ssize_t count = ::read(input, buffer, sizeof buffer);
        if (count <= 0) return received;
        received.append(buffer, static_cast<std::size_t>(count));
    }
}

TEST(StopDeadline, WritesTheQueuedOutputForItsReaderAndEndsTheProcessEvenWhenNobodyReads) {
    for (const bool reads : {true, false}) {
        SCOPED_TRACE(reads ? "a reader takes the output" : "nobody reads the output");
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        const std::size_t queuedBytes = queuedBytesFor(pipe[1]);
        ASSERT_GT(queuedBytes, 0U);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe[0]);
            queueOutputAndStall(pipe[1], queuedBytes);
        }
        ::close(pipe[1]);
        std::string received;
        if (reads) {
            received = readToEnd(pipe[0]);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(pipe[0]);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), forcedExitStatus);
        if (reads) {
            EXPECT_EQ(received.size(), queuedBytes + 1);
            EXPECT_EQ(received.find_first_not_of('x'), queuedBytes);
        }
    }
}

}  // namespace
}  // namespace lumenary::app
