#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <asio/post.hpp>

#include "async/context_runner.hpp"
#include "logging/logging.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/server/stdio_transport.hpp"

namespace lumenary::mcp {
namespace {

using async::test::runToEnd;

// A transport over two pipes: the test writes the transport's input and
// reads its output.
class StdioTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::pipe2(input_, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(output_, O_CLOEXEC), 0);
    }
    void TearDown() override {
        for (int descriptor : {input_[0], input_[1], output_[0], output_[1]}) {
            if (descriptor >= 0) ::close(descriptor);
        }
    }

    std::shared_ptr<StdioTransport> makeTransport(StdioTransport::Limits limits = {}) {
        return StdioTransport::create(io_.get_executor(), input_[0], output_[1], std::nullopt, limits);
    }

    void feed(std::string_view bytes) {
        ASSERT_EQ(::write(input_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void endInput() {
        ::close(input_[1]);
        input_[1] = -1;
    }

    // Every message the transport yields until its stream ends.
    std::vector<std::string> drain(const std::shared_ptr<StdioTransport>& transport) {
        return runToEnd(io_, [](async::Queue<ReceivedMessage> stream) -> asio::awaitable<std::vector<std::string>> {
            std::vector<std::string> messages;
            while (auto message = co_await stream.next()) {
                messages.push_back(std::move(message->text));
            }
            co_return messages;
        }(transport->receive()));
    }

    std::string readOutput(std::size_t bytes) {
        std::string out;
        while (out.size() < bytes) {
            pollfd poller{output_[0], POLLIN, 0};
            if (::poll(&poller, 1, 5000) <= 0) break;
            char chunk[65536];
            const ssize_t count = ::read(output_[0], chunk, sizeof chunk);
            if (count <= 0) break;
            out.append(chunk, static_cast<std::size_t>(count));
        }
        return out;
    }

    asio::io_context io_;
    int input_[2] = {-1, -1};
    int output_[2] = {-1, -1};
};

TEST_F(StdioTransportTest, SplitsInputIntoLines) {
    auto transport = makeTransport();
    runToEnd(io_, transport->connect());
    // Empty lines vanish, a carriage return stays, the last line needs no newline.
    feed("a\n\nb\r\n{\"x\":");
    feed("1}\nlast");
    endInput();
    EXPECT_EQ(drain(transport), (std::vector<std::string>{"a", "b\r", "{\"x\":1}", "last"}));
}

TEST_F(StdioTransportTest, DeliversALineLongerThanOneRead) {
    auto transport = makeTransport();
    runToEnd(io_, transport->connect());
    const std::string line(300'000, 'q');
    std::thread writer([&] {
        feed(line + "\n");
        endInput();
    });
    const auto messages = drain(transport);
    writer.join();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0], line);
}

TEST_F(StdioTransportTest, ReplacesAnOverlongLineByOneUnreadableMessage) {
    auto transport = makeTransport({.maximumLineLength = 100});
    runToEnd(io_, transport->connect());
    feed("short\n" + std::string(250, 'x') + "\nnext\n");
    endInput();
    EXPECT_EQ(drain(transport), (std::vector<std::string>{"short", "", "next"}));
}

TEST_F(StdioTransportTest, WritesEachMessageAsOneLine) {
    auto transport = makeTransport();
    runToEnd(io_, transport->connect());
    const std::string big(200'000, 'z');
    std::string received;
    std::atomic<bool> done = false;
    std::thread reader([&] {
        received = readOutput(big.size() + 4);
        done = true;
    });
    // Sends queue their lines; the writer runs on the transport's strand.
    runToEnd(io_, transport->send(big));
    runToEnd(io_, transport->send("{}"));
    EXPECT_TRUE(async::test::runUntil(io_, [&] { return done.load(); }));
    reader.join();
    EXPECT_TRUE(received == big + "\n{}\n") << "received " << received.size() << " bytes";
}

TEST_F(StdioTransportTest, SendFailsWhenNotConnected) {
    auto transport = makeTransport();
    const auto expectNotConnected = [&] {
        try {
            runToEnd(io_, transport->send("x"));
            ADD_FAILURE() << "send succeeded";
        } catch (const MCPError& error) {
            EXPECT_EQ(error.errorCase(), MCPError::Case::transportError);
            EXPECT_NE(std::string(error.what()).find(std::strerror(ENOTCONN)), std::string::npos) << error.what();
        }
    };
    expectNotConnected();
    runToEnd(io_, transport->connect());
    runToEnd(io_, transport->disconnect());
    expectNotConnected();
    pollfd poller{output_[0], POLLIN, 0};
    EXPECT_EQ(::poll(&poller, 1, 0), 0) << "something was written";
}

TEST_F(StdioTransportTest, DisconnectEndsTheStreamAndLeavesTheDescriptorsOpen) {
    auto transport = makeTransport();
    auto first = transport->receive();
    runToEnd(io_, transport->connect());
    runToEnd(io_, transport->connect());
    runToEnd(io_, transport->disconnect());
    runToEnd(io_, transport->disconnect());
    EXPECT_TRUE(drain(transport).empty());
    EXPECT_TRUE(first.isFinished()) << "receive() must hand out one stream";
    EXPECT_NE(::fcntl(input_[0], F_GETFD), -1);
    EXPECT_NE(::fcntl(output_[1], F_GETFD), -1);
}

TEST_F(StdioTransportTest, GivesBackTheFileStatusFlags) {
    const int before = ::fcntl(input_[0], F_GETFL);
    ASSERT_EQ(before & O_NONBLOCK, 0);
    auto transport = makeTransport();
    runToEnd(io_, transport->connect());
    feed("x\n");
    async::test::runUntil(io_, [&] { return transport->receive().size() == 1; });
    runToEnd(io_, transport->disconnect());
    EXPECT_EQ(::fcntl(input_[0], F_GETFL), before);
    EXPECT_EQ(::fcntl(output_[1], F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(StdioTransportTest, StopsReadingWhileTheConsumerLagsBehind) {
    auto transport = makeTransport({.maximumQueuedMessages = 4});
    runToEnd(io_, transport->connect());
    auto stream = transport->receive();
    feed("m0\nm1\nm2\nm3\n");
    ASSERT_TRUE(async::test::runUntil(io_, [&] { return stream.size() == 4; }));
    feed("m4\n");
    endInput();
    async::test::runReady(io_);
    EXPECT_EQ(stream.size(), 4U) << "read on while the consumer was behind";
    EXPECT_EQ(drain(transport), (std::vector<std::string>{"m0", "m1", "m2", "m3", "m4"}));
}

TEST_F(StdioTransportTest, StopsReadingWhileTheQueuedInputIsTooLarge) {
    auto transport = makeTransport({.maximumQueuedInputBytes = 1000});
    runToEnd(io_, transport->connect());
    auto stream = transport->receive();
    feed(std::string(1500, 'a') + "\n");
    ASSERT_TRUE(async::test::runUntil(io_, [&] { return stream.size() == 1; }));
    feed("b\n");
    endInput();
    async::test::runReady(io_);
    EXPECT_EQ(stream.size(), 1U) << "read on past the byte limit";
    EXPECT_EQ(drain(transport).size(), 2U);
}

TEST_F(StdioTransportTest, ServesOneConnectionOnly) {
    auto transport = makeTransport();
    runToEnd(io_, transport->connect());
    runToEnd(io_, transport->disconnect());
    EXPECT_THROW(runToEnd(io_, transport->connect()), MCPError);
}

TEST_F(StdioTransportTest, DisconnectGivesUpOnAPeerThatStoppedReading) {
    auto transport = makeTransport({.flushTimeLimit = std::chrono::milliseconds(50)});
    runToEnd(io_, transport->connect());
    // More than the pipe holds, and nobody reads it.
    runToEnd(io_, transport->send(std::string(1024 * 1024, 'x')));
    runToEnd(io_, transport->disconnect());
    EXPECT_EQ(::fcntl(output_[1], F_GETFL) & O_NONBLOCK, 0);
    EXPECT_THROW(runToEnd(io_, transport->send("late")), MCPError);
}

// The flush of a forced exit runs without the executor, beside threads
// that still run: it writes what is queued while the peer takes it, and a
// sender held back for the output learns that it drained.
TEST_F(StdioTransportTest, FlushAllWritesTheQueuedOutputAndLetsTheSenderHeldBackForItGo) {
    auto transport = makeTransport({.maximumQueuedOutputBytes = 1024});
    runToEnd(io_, transport->connect());
    const int capacity = ::fcntl(output_[1], F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    const std::string line(static_cast<std::size_t>(capacity) * 4, 'x');
    auto sent = asio::co_spawn(io_, transport->send(line), asio::use_future);
    async::test::runReady(io_);
    ASSERT_FALSE(async::test::isReady(sent)) << "the sender was not held back";

    std::string received;
    std::thread reader([&] { received = readOutput(line.size() + 1); });
    StdioTransport::flushAllUntil(std::chrono::steady_clock::now() + std::chrono::seconds(60));
    reader.join();
    EXPECT_EQ(received, line + "\n");
    ASSERT_TRUE(async::test::runUntil(io_, [&] { return async::test::isReady(sent); }));
    EXPECT_NO_THROW(sent.get());
}

// Input that is always ready, as a device or a regular file is, is read on
// without a wait: another handler on the same executor must still run while
// it lasts, and the reading must go on to the end afterwards.
TEST_F(StdioTransportTest, GivesTheExecutorBackWhileTheInputIsAlwaysReady) {
    constexpr off_t size = 16 * 1024 * 1024;
    const int file = ::memfd_create("always-ready-input", MFD_CLOEXEC);
    ASSERT_GE(file, 0);
    // Its holes read as zeros: one over-long line, then a last one.
    const std::string end = "\nlast\n";
    ASSERT_EQ(::pwrite(file, end.data(), end.size(), size - static_cast<off_t>(end.size())),
              static_cast<ssize_t>(end.size()));
    auto transport =
        StdioTransport::create(io_.get_executor(), file, output_[1], std::nullopt, {.maximumLineLength = 1024});
    runToEnd(io_, transport->connect());

    // The transport reads a duplicate, which shares the file's offset.
    std::optional<off_t> offsetWhenRun;
    asio::post(io_, [&] { offsetWhenRun = ::lseek(file, 0, SEEK_CUR); });
    ASSERT_TRUE(async::test::runUntil(io_, [&] { return offsetWhenRun.has_value(); }));
    EXPECT_LT(*offsetWhenRun, size) << "the other handler ran only once the whole input was read";
    EXPECT_EQ(drain(transport), (std::vector<std::string>{"", "last"}));
    ::close(file);
}

TEST_F(StdioTransportTest, LogsThroughItsLoggerOnlyWhenGivenOne) {
    auto silent = makeTransport();
    EXPECT_EQ(silent->logger().logLevel(), logging::LogLevel::critical);
    EXPECT_EQ(silent->logger().label(), "mcp.transport.stdio");
}

}  // namespace
}  // namespace lumenary::mcp
