#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <chrono>

#include "platform/process/worker_process.hpp"
#include "support/process_observation.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::processIsGone;
using Clock = std::chrono::steady_clock;

constexpr auto generousTimeout = 10s;

WorkerProcess startWorker(const std::string& executable, const std::vector<std::string>& arguments = {}) {
    auto worker = WorkerProcess::start(executable, arguments);
    if (!worker) {
        throw std::runtime_error(worker.error().description);
    }
    return std::move(worker).value();
}

WorkerProcess startShellWorker(const std::string& script) {
    return startWorker("/bin/sh", {"-c", script});
}

TEST(WorkerProcess, AnswersThroughItsStandardStreams) {
    auto worker = startWorker("cat");
    // A line of nearly a pipe's capacity arrives in several reads.
    const std::string large(60 * 1024, 'v');
    struct Step {
        std::string sent;
        std::vector<std::string> lines;
        std::string bytes;  // then read exactly these
    };
    const std::vector<Step> steps = {
        {"ping\n", {"ping"}, ""},
        {"one\ntwo\n", {"one", "two"}, ""},
        {"\n", {""}, ""},
        {"framed:abc", {}, "framed:abc"},
        {"head\nbody", {"head"}, "body"},
        {large + "\n", {large}, ""},
    };
    for (const auto& step : steps) {
        ASSERT_FALSE(worker.write(step.sent, generousTimeout)) << step.sent.substr(0, 20);
        for (const auto& line : step.lines) {
            const auto received = worker.readLine(1024 * 1024, generousTimeout);
            ASSERT_TRUE(received) << received.error().description;
            EXPECT_EQ(received.value(), line);
        }
        if (!step.bytes.empty()) {
            const auto received = worker.read(step.bytes.size(), generousTimeout);
            ASSERT_TRUE(received) << received.error().description;
            EXPECT_EQ(received.value(), step.bytes);
        }
    }
    EXPECT_FALSE(worker.exit().has_value());
}

TEST(WorkerProcess, AReadThatCannotCompleteSaysWhy) {
    enum class Read { line, threeBytes };
    struct Case {
        const char* name;
        const char* script;
        Read read;
        std::int64_t code;
        std::string descriptionEnd;
    };
    const std::vector<Case> cases = {
        {"nothing arrives", "read line", Read::line, ETIMEDOUT, "sent no line within 100 ms"},
        {"nothing arrives", "read line", Read::threeBytes, ETIMEDOUT, "sent no reply within 100 ms"},
        {"output ends", "exit 0", Read::line, EPIPE, "closed its output"},
        {"ends mid-line", "printf 'part'", Read::line, EPIPE, "closed its output"},
        {"ends short", "printf 'ab'", Read::threeBytes, EPIPE, "closed its output"},
        {"line too long", "printf '0123456789\\n'; read line", Read::line, EMSGSIZE,
         "sent a line longer than 5 bytes"},
        {"too long, no newline yet", "printf '0123456789'; read line", Read::line, EMSGSIZE,
         "sent a line longer than 5 bytes"},
    };
    for (const auto& c : cases) {
        auto worker = startShellWorker(c.script);
        const auto received = c.read == Read::line ? worker.readLine(5, 100ms) : worker.read(3, 100ms);
        ASSERT_FALSE(received) << c.name;
        EXPECT_EQ(received.error().domain, "ProcessLauncher") << c.name;
        EXPECT_EQ(received.error().code, c.code) << c.name;
        EXPECT_TRUE(received.error().description.starts_with("The worker \"/bin/sh\" (pid "))
            << received.error().description;
        EXPECT_TRUE(received.error().description.ends_with(c.descriptionEnd)) << received.error().description;
    }
}

TEST(WorkerProcess, NoticesWhenTheWorkerEnds) {
    struct Case {
        const char* script;
        ProcessExit exit;
    };
    const std::vector<Case> cases = {
        {"read line; exit 3", {ProcessExit::Kind::exited, 3, 0}},
        {"read line; kill -KILL $$", {ProcessExit::Kind::killedBySignal, 0, SIGKILL}},
    };
    for (const auto& c : cases) {
        auto worker = startShellWorker(c.script);
        EXPECT_FALSE(worker.exit().has_value()) << c.script;

        ASSERT_FALSE(worker.write("end\n", generousTimeout)) << c.script;

        EXPECT_EQ(worker.waitForExit(generousTimeout), c.exit) << c.script;
        EXPECT_EQ(worker.exit(), c.exit) << c.script;
        EXPECT_TRUE(processIsGone(worker.pid())) << c.script;
        const auto late = worker.write("more\n", generousTimeout);
        ASSERT_TRUE(late.has_value()) << c.script;
        EXPECT_EQ(late->code, EPIPE) << c.script;
    }
}

TEST(WorkerProcess, StopClosesItsInputThenKillsAWorkerThatStaysOn) {
    struct Case {
        const char* name;
        std::string executable;
        std::vector<std::string> arguments;
        std::chrono::milliseconds grace;
        ProcessExit exit;
    };
    const std::vector<Case> cases = {
        {"ends at end of input", "cat", {}, generousTimeout, {ProcessExit::Kind::exited, 0, 0}},
        {"ignores its input", "sleep", {"30"}, 100ms, {ProcessExit::Kind::killedBySignal, 0, SIGKILL}},
    };
    for (const auto& c : cases) {
        auto worker = startWorker(c.executable, c.arguments);
        const auto started = Clock::now();

        const auto exit = worker.stop(c.grace);

        EXPECT_EQ(exit, c.exit) << c.name;
        EXPECT_LT(Clock::now() - started, generousTimeout) << c.name;
        EXPECT_TRUE(processIsGone(worker.pid())) << c.name;
        EXPECT_EQ(worker.stop(c.grace), c.exit) << c.name;
        const auto read = worker.readLine(10, 100ms);
        ASSERT_FALSE(read) << c.name;
        EXPECT_EQ(read.error().code, EPIPE) << c.name;
    }
}

TEST(WorkerProcess, GoingOutOfScopeStopsAndReapsIt) {
    pid_t pid = -1;
    {
        auto worker = startWorker("cat");
        pid = worker.pid();
        // A moved-from worker is empty; only the new owner stops the child.
        auto owner = std::move(worker);
        ASSERT_FALSE(owner.exit().has_value());
    }
    EXPECT_TRUE(processIsGone(pid));
}

TEST(WorkerProcess, AProgramThatCannotStartIsAnError) {
    const auto worker = WorkerProcess::start("lumenary-no-such-worker", {});
    ASSERT_FALSE(worker);
    EXPECT_EQ(worker.error().domain, "ProcessLauncher");
    EXPECT_EQ(worker.error().code, ENOENT);
}

TEST(WorkerProcess, OnItsOwnDescriptorsTalksApartFromItsStandardStreams) {
    // Descriptor 3 carries our lines in, 4 carries its lines out; what it
    // prints on standard output lands where its standard error goes; it
    // reads nothing on standard input; the environment we give replaces
    // ours for that name and keeps the rest.
    const std::string script =
        "echo 'printed, not an answer'; "
        "read line <&3; printf '%s\\n' \"got $line\" >&4; "
        "[ \"$(readlink /proc/$$/fd/1)\" = \"$(readlink /proc/$$/fd/2)\" ] && echo 'out is err' >&4; "
        "[ \"$(readlink /proc/$$/fd/0)\" = /dev/null ] && echo 'in is null' >&4; "
        "printf '%s %s\\n' \"$LUMENARY_WORKER_TEST\" \"${HOME:+home kept}\" >&4";
    auto started = WorkerProcess::startOnOwnDescriptors("/bin/sh", {"-c", script}, {"LUMENARY_WORKER_TEST=given"});
    ASSERT_TRUE(started) << started.error().description;
    auto& worker = started.value();
    ASSERT_FALSE(worker.write("ping\n", generousTimeout));
    for (const std::string expected : {"got ping", "out is err", "in is null", "given home kept"}) {
        const auto line = worker.readLine(1024, generousTimeout);
        ASSERT_TRUE(line) << line.error().description;
        EXPECT_EQ(line.value(), expected);
    }
}

}  // namespace
}  // namespace lumenary::platform
