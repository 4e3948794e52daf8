#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/process/background_reaper.hpp"
#include "platform/process/process_launcher.hpp"
#include "platform/process/worker_process.hpp"
#include "support/process_observation.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::eventually;
using lumenary::testing::openDescriptors;
using lumenary::testing::processIsAlive;
using lumenary::testing::processIsGone;
using Clock = std::chrono::steady_clock;

constexpr auto generousDeadline = 30s;

// A shell is fine as a test's child: it lets one line describe what the
// child does. Extra arguments arrive as $1, $2, ...
ProcessLaunch shell(const std::string& script, std::vector<std::string> arguments = {}) {
    ProcessLaunch launch;
    launch.executable = "/bin/sh";
    launch.arguments = {"-c", script, "sh"};
    launch.arguments.insert(launch.arguments.end(), arguments.begin(), arguments.end());
    launch.deadline = generousDeadline;
    return launch;
}

ProcessLaunch program(const std::string& executable, std::vector<std::string> arguments = {}) {
    ProcessLaunch launch;
    launch.executable = executable;
    launch.arguments = std::move(arguments);
    launch.deadline = generousDeadline;
    return launch;
}

ProcessRun runToEnd(const ProcessLaunch& launch) {
    auto run = ProcessLauncher().run(launch);
    if (!run) {
        ADD_FAILURE() << run.error().description;
        return {};
    }
    return std::move(run).value();
}

ProcessExit exited(int status) {
    return {ProcessExit::Kind::exited, status, 0};
}

ProcessExit killedBy(int signal) {
    return {ProcessExit::Kind::killedBySignal, 0, signal};
}

std::string readLaunchedFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// More than a pipe holds on each stream, then a mark in the file $2 that
// the writer lived through it.
const std::string lateWrites =
    "head -c 300000 /dev/zero && head -c 300000 /dev/zero >&2 && echo done > \"$2\"";

// Lets a test child blocked on `read line < fifo` go on.
void release(const std::filesystem::path& fifo) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "go\n", 3), 3);
    ::close(writer);
}

TEST(ProcessLauncher, ReportsHowTheChildEnded) {
    struct Case {
        const char* name;
        ProcessLaunch launch;
        ProcessExit exit;
    };
    const std::vector<Case> cases = {
        {"true", program("true"), exited(0)},
        {"false", program("false"), exited(1)},
        {"exit status", shell("exit 7"), exited(7)},
        {"own signal", shell("kill -USR1 $$"), killedBy(SIGUSR1)},
        {"abort", shell("kill -ABRT $$"), killedBy(SIGABRT)},
    };
    for (const auto& c : cases) {
        const auto run = runToEnd(c.launch);
        EXPECT_EQ(run.exit, c.exit) << c.name;
        EXPECT_FALSE(run.deadlinePassed) << c.name;
        EXPECT_TRUE(processIsGone(run.pid)) << c.name;
    }
}

TEST(ProcessLauncher, ChildStartsWithDefaultSignalHandlingAndNothingBlocked) {
    // This thread blocks a signal and the launcher ignores SIGPIPE for the
    // whole process; neither may reach the child.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    const auto run = runToEnd(program("grep", {"-E", "^Sig(Blk|Ign)", "/proc/self/status"}));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    // The C library keeps two real-time signals of its own ignored; the
    // classic ones 1 to 31 must all be at their defaults.
    std::istringstream lines(run.standardOutput.bytes);
    std::map<std::string, unsigned long long> masks;
    for (std::string name, mask; lines >> name >> mask;) {
        masks[name] = std::stoull(mask, nullptr, 16);
    }
    const unsigned long long classicSignals = 0x7fffffffULL;
    ASSERT_EQ(masks.size(), 2U) << run.standardOutput.bytes;
    EXPECT_EQ(masks["SigBlk:"] & classicSignals, 0U) << run.standardOutput.bytes;
    EXPECT_EQ(masks["SigIgn:"] & classicSignals, 0U) << run.standardOutput.bytes;
}

TEST(ProcessLauncher, KeepsEachStreamUpToItsLimitAndDrainsTheRest) {
    struct Case {
        const char* script;
        std::size_t outputLimit;
        std::size_t errorLimit;
        CapturedOutput output;
        CapturedOutput error;
    };
    const std::string thousandZeros(1000, '\0');
    const std::vector<Case> cases = {
        {"printf 'hello world'", 5, 5, {"hello", true}, {"", false}},
        {"printf 'hello'", 5, 5, {"hello", false}, {"", false}},
        {"printf 'out'; printf 'err' >&2", 100, 100, {"out", false}, {"err", false}},
        {"printf 'out'; printf 'error' >&2", 100, 2, {"out", false}, {"er", true}},
        // Far past any pipe's capacity: a child left blocked on a full pipe
        // would end at the deadline instead.
        {"head -c 5000000 /dev/zero", 1000, 1000, {thousandZeros, true}, {"", false}},
        {"head -c 5000000 /dev/zero >&2", 1000, 1000, {"", false}, {thousandZeros, true}},
        {"head -c 1000 /dev/zero", 1000, 1000, {thousandZeros, false}, {"", false}},
        {"printf 'lost'", 0, 0, {"", true}, {"", false}},
    };
    for (const auto& c : cases) {
        auto launch = shell(c.script);
        launch.standardOutputLimit = c.outputLimit;
        launch.standardErrorLimit = c.errorLimit;
        const auto run = runToEnd(launch);
        EXPECT_EQ(run.exit, exited(0)) << c.script;
        EXPECT_FALSE(run.deadlinePassed) << c.script;
        EXPECT_EQ(run.standardOutput.bytes, c.output.bytes) << c.script;
        EXPECT_EQ(run.standardOutput.truncated, c.output.truncated) << c.script;
        EXPECT_EQ(run.standardError.bytes, c.error.bytes) << c.script;
        EXPECT_EQ(run.standardError.truncated, c.error.truncated) << c.script;
    }
}

TEST(ProcessLauncher, GivesTheChildItsStandardInput) {
    std::string large(3 * 1024 * 1024, 'x');
    for (std::size_t index = 0; index < large.size(); index += 4096) {
        large[index] = static_cast<char>('a' + (index / 4096) % 26);
    }
    struct Case {
        const char* name;
        ProcessLaunch launch;
        std::optional<std::string> input;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"none reads as empty", program("cat"), std::nullopt, ""},
        {"empty", program("cat"), std::string(), ""},
        {"a line", program("cat"), "hello\n", "hello\n"},
        // Larger than the pipes hold both ways: writing and reading must take turns.
        {"larger than a pipe", program("cat"), large, large},
        {"never read", program("true"), large, ""},
        {"read in part", shell("head -c 5"), large, large.substr(0, 5)},
    };
    for (const auto& c : cases) {
        auto launch = c.launch;
        launch.standardInput = c.input;
        launch.standardOutputLimit = 4 * 1024 * 1024;
        const auto run = runToEnd(launch);
        EXPECT_EQ(run.exit, exited(0)) << c.name;
        EXPECT_FALSE(run.deadlinePassed) << c.name;
        EXPECT_TRUE(run.standardOutput.bytes == c.output) << c.name << ": " << run.standardOutput.bytes.size()
                                                          << " bytes";
    }
}

TEST(ProcessLauncher, KillsTheChildAndWhatItStartedAtTheDeadline) {
    struct Case {
        const char* name;
        ProcessLaunch launch;
        std::chrono::milliseconds deadline;
        ProcessExit exit;
    };
    const std::vector<Case> cases = {
        {"ends on SIGTERM", program("sleep", {"30"}), 100ms, killedBy(SIGTERM)},
        {"its children go too", shell("sleep 30 & echo $!; sleep 30 & echo $!; wait"), 300ms, killedBy(SIGTERM)},
        // The deadline leaves the shell time to set its trap first.
        {"ignores SIGTERM", shell("trap '' TERM; sleep 30 & echo $!; wait; wait"), 1000ms, killedBy(SIGKILL)},
    };
    BackgroundReaper::shared();
    const auto descriptorsBefore = openDescriptors();
    for (const auto& c : cases) {
        auto launch = c.launch;
        launch.deadline = c.deadline;
        launch.killGrace = 200ms;
        const auto started = Clock::now();
        const auto run = runToEnd(launch);
        EXPECT_LT(Clock::now() - started, 10s) << c.name;
        EXPECT_TRUE(run.deadlinePassed) << c.name;
        EXPECT_EQ(run.exit, c.exit) << c.name;
        EXPECT_TRUE(processIsGone(run.pid)) << c.name;
        std::istringstream started_children(run.standardOutput.bytes);
        for (pid_t grandchild; started_children >> grandchild;) {
            EXPECT_TRUE(eventually([&] { return !processIsAlive(grandchild); })) << c.name << ": " << grandchild;
        }
    }
    // A killed grandchild may let go of the output pipes a moment after the
    // call returned; the background reaper closes them then.
    EXPECT_TRUE(eventually([&] { return openDescriptors() == descriptorsBefore; }));
}

TEST(ProcessLauncher, LeavesTheChildRunningAtTheDeadlineAndReapsItWhenItEnds) {
    const lumenary::testing::TemporaryDirectory folder;
    const auto go = folder.path() / "go";
    const auto finished = folder.path() / "finished";
    ASSERT_EQ(::mkfifo(go.c_str(), 0600), 0);
    // After the deadline the child still writes to both of its streams, as
    // a mail program would, and must not die of it.
    auto launch = shell("read line < \"$1\" && " + lateWrites, {go, finished});
    launch.deadline = 200ms;
    launch.atDeadline = ProcessLaunch::AtDeadline::leaveRunning;
    // The reaper's own wake-up descriptor lives as long as the process.
    BackgroundReaper::shared();
    const auto descriptorsBefore = openDescriptors();

    const auto run = runToEnd(launch);

    EXPECT_TRUE(run.deadlinePassed);
    EXPECT_FALSE(run.exit.has_value());
    EXPECT_TRUE(processIsAlive(run.pid));
    release(go);
    EXPECT_TRUE(eventually([&] { return readLaunchedFile(finished) == "done\n"; })) << "the late writer died";
    EXPECT_TRUE(eventually([&] { return processIsGone(run.pid); })) << "left a zombie";
    EXPECT_TRUE(eventually([&] { return openDescriptors() == descriptorsBefore; }));
}

TEST(ProcessLauncher, ReturnsWhenTheChildEndsThoughItsOwnChildStillHoldsItsOutput) {
    const lumenary::testing::TemporaryDirectory folder;
    const auto go = folder.path() / "go";
    const auto finished = folder.path() / "finished";
    ASSERT_EQ(::mkfifo(go.c_str(), 0600), 0);
    const auto launch =
        shell("(read line < \"$1\" && " + lateWrites + ") & echo started", {go, finished});

    const auto run = runToEnd(launch);

    EXPECT_FALSE(run.deadlinePassed);
    EXPECT_EQ(run.exit, exited(0));
    EXPECT_EQ(run.standardOutput.bytes, "started\n");
    release(go);
    EXPECT_TRUE(eventually([&] { return readLaunchedFile(finished) == "done\n"; })) << "the late writer died";
}

TEST(ProcessLauncher, AProgramThatCannotStartIsAnError) {
    const lumenary::testing::TemporaryDirectory folder;
    const auto notExecutable = folder.path() / "data";
    std::ofstream(notExecutable) << "#!/bin/sh\n";
    struct Case {
        std::string executable;
        int code;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"lumenary-no-such-program", ENOENT,
         "Could not start \"lumenary-no-such-program\": No such file or directory (looked for it in the folders of "
         "PATH)"},
        {"/nonexistent/program", ENOENT, "Could not start \"/nonexistent/program\": No such file or directory"},
        {"", ENOENT, "Could not start \"\": No such file or directory (looked for it in the folders of PATH)"},
        {notExecutable.string(), EACCES, "Could not start \"" + notExecutable.string() + "\": Permission denied"},
        {folder.path().string(), EACCES, "Could not start \"" + folder.path().string() + "\": Permission denied"},
    };
    const auto descriptorsBefore = openDescriptors();
    for (const auto& c : cases) {
        auto launch = program(c.executable);
        launch.standardInput = "ignored";
        const auto run = ProcessLauncher().run(launch);
        ASSERT_FALSE(run) << c.executable;
        EXPECT_EQ(run.error().domain, "ProcessLauncher") << c.executable;
        EXPECT_EQ(run.error().code, c.code) << c.executable;
        EXPECT_EQ(run.error().description, c.description);
    }
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

// Each "N -> target" line of `ls -l` on a descriptor folder.
std::map<int, std::string> listedDescriptors(const std::string& listing) {
    std::map<int, std::string> descriptors;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) {
            continue;
        }
        const auto number = line.rfind(' ', arrow - 1);
        descriptors[std::stoi(line.substr(number + 1, arrow - number - 1))] = line.substr(arrow + 4);
    }
    return descriptors;
}

TEST(ProcessLauncher, NoDescriptorOfOursLeaksIntoTheChild) {
    // A worker's pipes are open in this process while the child starts.
    auto worker = WorkerProcess::start("cat", {});
    ASSERT_TRUE(worker) << worker.error().description;
    auto inheritable = lumenary::testing::inheritableDescriptors();
    inheritable.insert({STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO});

    const auto run = runToEnd(program("ls", {"-l", "/proc/self/fd"}));

    const auto listed = listedDescriptors(run.standardOutput.bytes);
    ASSERT_TRUE(listed.contains(STDOUT_FILENO)) << run.standardOutput.bytes;
    for (const auto& [descriptor, target] : listed) {
        // The listing program's own handle on the folder it lists.
        if (target.starts_with("/proc/") && target.ends_with("/fd")) {
            continue;
        }
        EXPECT_TRUE(inheritable.contains(descriptor)) << descriptor << " -> " << target;
    }
}

}  // namespace
}  // namespace lumenary::platform
