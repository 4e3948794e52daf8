#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/process/owned_children.hpp"
#include "platform/process/spawned_process.hpp"
#include "system/pipe.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using Clock = SpawnedProcess::Clock;

// A child that sleeps long after saying "ready" on `output`; with
// `ignoresTerm` it ignores SIGTERM, as a worker stuck in a library might.
SpawnedProcess startSleeper(bool ignoresTerm, OwnedChildren* list, system::Pipe& output) {
    if (system::openPipe(output) != 0) {
        throw std::runtime_error("no pipe");
    }
    const std::string script = std::string(ignoresTerm ? "trap '' TERM; " : "") + "echo ready; exec sleep 30";
    auto started =
        SpawnedProcess::spawn("/bin/sh", {"-c", script}, {-1, output.writeEnd.get(), -1, false}, {{}, {}, list});
    output.writeEnd.reset();
    if (!started) {
        throw std::runtime_error(started.error().description);
    }
    return std::move(started).value();
}

// Returns once the child said it is ready, or ended first.
void awaitReady(const system::Pipe& output) {
    pollfd entry{output.readEnd.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 10'000), 1);
}

TEST(OwnedChildren, EndAllEndsEveryListedChildAndLeavesTheOthers) {
    struct Case {
        const char* name;
        bool ignoresTerm;
        bool listed;
        bool startedOnceEnding;
        // Absent: still running after the stop.
        std::optional<ProcessExit> exit;
    };
    const ProcessExit terminated{ProcessExit::Kind::killedBySignal, 0, SIGTERM};
    const ProcessExit killed{ProcessExit::Kind::killedBySignal, 0, SIGKILL};
    const Case cases[] = {
        {"ends on SIGTERM", false, true, false, terminated},
        {"ignores SIGTERM, so is killed after the grace", true, true, false, killed},
        {"opened for the person, so left running", false, false, false, std::nullopt},
        {"started once the stop had begun, so killed at once", false, true, true, killed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedChildren list;
        if (c.startedOnceEnding) {
            list.endAll(0ms);
        }
        system::Pipe output;
        auto child = startSleeper(c.ignoresTerm, c.listed ? &list : nullptr, output);
        awaitReady(output);

        if (!c.startedOnceEnding) {
            list.endAll(100ms);
        }

        if (c.exit) {
            EXPECT_EQ(child.waitForExit(Clock::now() + 10s), c.exit);
        } else {
            EXPECT_FALSE(child.waitForExit(Clock::now()));
        }
    }
}

}  // namespace
}  // namespace lumenary::platform
