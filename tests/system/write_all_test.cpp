#include "system/write_all.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <thread>

#include "system/system_calls.hpp"

namespace lumenary::system {
namespace {

struct PipeEnds {
    int read = -1;
    int write = -1;
    PipeEnds() {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        read = ends[0];
        write = ends[1];
    }
    ~PipeEnds() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
    }
};

std::string readToEnd(int descriptor) {
    std::string text;
    char buffer[65536];
    ssize_t received;
    while ((received = ::read(descriptor, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(received));
    return text;
}

struct WriteAllCase {
    const char* name;
    bool nonBlocking;
};

class WriteAll : public ::testing::TestWithParam<WriteAllCase> {};

// Far more than a pipe holds, so the writer must wait for the reader: by
// blocking, or by polling when whoever opened the descriptor made it
// non-blocking.
TEST_P(WriteAll, WritesEveryByteWhileTheReaderKeepsUp) {
    PipeEnds pipe;
    if (GetParam().nonBlocking) ::fcntl(pipe.write, F_SETFL, ::fcntl(pipe.write, F_GETFL) | O_NONBLOCK);
    std::string bytes(4 * 1024 * 1024, '\0');
    for (std::size_t index = 0; index < bytes.size(); ++index) bytes[index] = static_cast<char>('a' + index % 26);

    std::string received;
    std::thread reader([&received, descriptor = pipe.read] { received = readToEnd(descriptor); });
    const int result = writeAll(pipe.write, bytes);
    ::close(pipe.write);
    pipe.write = -1;
    reader.join();

    EXPECT_EQ(result, 0);
    EXPECT_EQ(received, bytes);
}

INSTANTIATE_TEST_SUITE_P(Descriptors, WriteAll,
                         ::testing::Values(WriteAllCase{"Blocking", false}, WriteAllCase{"NonBlocking", true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(WriteAllFailure, ReturnsTheErrorOfAWriteThatCannotSucceed) {
    // A write with no reader left raises SIGPIPE; this thread takes EPIPE instead.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    PipeEnds pipe;
    ::close(pipe.read);
    pipe.read = -1;

    EXPECT_EQ(writeAll(pipe.write, "line\n"), EPIPE);

    timespec noWait{};
    sigtimedwait(&pipeSignal, nullptr, &noWait);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// A descriptor that takes nothing of a non-empty write would be tried again
// for ever.
TEST(WriteAllFailure, EndsWithEIOWhenAWriteTakesNothing) {
    int callsMade = 0;
    SystemCalls calls = SystemCalls::platform();
    calls.write = [&callsMade](int, const void*, std::size_t count) -> ssize_t {
        return ++callsMade == 1 ? static_cast<ssize_t>(count / 2) : 0;
    };
    const ScopedSystemCalls inForce(calls);

    EXPECT_EQ(writeAll(7, "line\n"), EIO);
    EXPECT_EQ(callsMade, 2);
}

}  // namespace
}  // namespace lumenary::system
