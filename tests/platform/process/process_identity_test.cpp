#include "platform/process/process_identity.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumenary::platform {
namespace {

// A child that waits to be killed, or one that ends at once.
pid_t startChild(bool lingers) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (lingers) {
            ::pause();
        }
        ::_exit(0);
    }
    return child;
}

TEST(ProcessIdentity, OnlyTheSameLiveProcessStillRuns) {
    const pid_t living = startChild(true);
    const pid_t ended = startChild(false);
    ASSERT_GT(living, 0);
    ASSERT_GT(ended, 0);
    // Ended and not yet reaped: a zombie, which runs no more.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);
    const auto livingIdentity = runningProcess(living);
    ASSERT_TRUE(livingIdentity.has_value());

    struct Case {
        const char* name;
        ProcessIdentity process;
        bool running;
    };
    const Case cases[] = {
        {"this process", currentProcess(), true},
        {"a live child", *livingIdentity, true},
        {"a later process under the same id", {.pid = living, .startTime = livingIdentity->startTime + 1}, false},
        {"an ended child not yet reaped", {.pid = ended, .startTime = 0}, false},
        {"no process", {.pid = 0, .startTime = 0}, false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(isRunning(testCase.process), testCase.running) << testCase.name;
    }
    EXPECT_FALSE(runningProcess(ended).has_value());

    ::kill(living, SIGKILL);
    ::waitpid(living, nullptr, 0);
    ::waitpid(ended, nullptr, 0);
    EXPECT_FALSE(isRunning(*livingIdentity));
}

}  // namespace
}  // namespace lumenary::platform
