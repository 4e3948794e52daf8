// The real program's vision workers end with it, however it ended: stopped
// in order, stopped at once by a second Ctrl-C, hung up on, or killed while
// they were deep in a video's analysis.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/host/program_test_support.hpp"
#include "platform/process/process_launcher.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"
#include "support/child_process.hpp"
#include "support/process_state.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;

// Ten seconds of large, busy frames, one a second: with every analysis,
// each worker spends seconds on its share of the ten frames of one request.
std::optional<std::string> writtenLongVideo(const std::filesystem::path& path) {
    const auto written = platform::ProcessLauncher().run(
        {.executable = "ffmpeg",
         .arguments = {"-v", "error", "-nostdin", "-f", "lavfi", "-i", "testsrc2=size=3840x2160:rate=1", "-t", "10",
                       "-pix_fmt", "yuv420p", "-c:v", "mpeg4", path.string()},
         .standardInput = std::nullopt,
         .standardOutputLimit = 0,
         .standardErrorLimit = 4096,
         .deadline = std::chrono::seconds(60)});
    if (!written || !written.value().exit || written.value().exit->exitStatus != 0) {
        return std::nullopt;
    }
    return path.string();
}

// Whether `number` was sent to the process and not yet taken by it.
bool signalPending(pid_t pid, int number) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("ShdPnd:")) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (number - 1) & 1) != 0;
        }
    }
    return false;
}

// Whether the worker has the file open. A worker reads the video itself,
// so one that has it open has taken its request and is in its analysis.
// One still being loaded watches nothing yet: it sees its server gone only
// once its program starts, which a busy machine, or a build under the
// sanitizers, can take seconds to reach, and is not what this test is for.
// One in its analysis ends within a tenth of a second of its server, busy
// machine or not.
bool hasOpen(pid_t worker, const std::filesystem::path& file) {
    std::error_code unreadable;
    for (const auto& descriptor :
         std::filesystem::directory_iterator("/proc/" + std::to_string(worker) + "/fd", unreadable)) {
        if (std::filesystem::read_symlink(descriptor.path(), unreadable) == file) {
            return true;
        }
    }
    return false;
}

// Workers a failing case leaves behind go with it.
struct WorkersKilledAtEnd {
    const std::vector<pid_t>& workers;
    ~WorkersKilledAtEnd() {
        for (const pid_t worker : workers) {
            if (testing::processIsAlive(worker)) {
                ::kill(worker, SIGKILL);
            }
        }
    }
};

TEST(WorkerLifetime, VisionWorkersBusyWithAVideoEndWithTheProgramHoweverItEnds) {
    testing::TemporaryDirectory folder;
    const auto video = writtenLongVideo(folder.path() / "long.mp4");
    if (!video) {
        GTEST_SKIP() << "Needs ffmpeg to write the video";
    }
    struct Case {
        const char* name;
        std::vector<int> signals;
    };
    const Case cases[] = {
        {"SIGTERM: an orderly stop", {SIGTERM}},
        {"SIGINT twice: the second ends it at once", {SIGINT, SIGINT}},
        {"SIGHUP: ended by the signal", {SIGHUP}},
        {"SIGKILL", {SIGKILL}},
    };
    const std::string videoCall =
        R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"vision_analyze_video","arguments":{)"
        R"("sample_interval":1,"features":["faces","text","animals","body_pose","hand_pose"],"video_path":")" +
        *video + R"("}}})";
    const auto workerCount = platform::vision::defaultVisionWorkerCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScopedEnvironment environment;
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isVisionEnabled":true})";
        testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "err").string());
        program.writeLine(testing::initializeRequest);
        ASSERT_TRUE(program.readLine());
        program.writeLine(videoCall);
        std::vector<pid_t> workers;
        const WorkersKilledAtEnd cleanUp{workers};
        std::set<pid_t> seenAnalysing;
        ASSERT_TRUE(testing::eventually([&] {
            workers = testing::runningChildren(program.pid(), "lumenary-vision");
            for (const pid_t worker : workers) {
                if (hasOpen(worker, *video)) {
                    seenAnalysing.insert(worker);
                }
            }
            return workers.size() == workerCount &&
                   std::all_of(workers.begin(), workers.end(),
                               [&](pid_t worker) { return seenAnalysing.contains(worker); });
        }, 30s)) << testing::fileText(folder.path() / "err");

        for (const int number : c.signals) {
            // Taken one by one, as a person's two Ctrl-C are: two that wait
            // together count as one.
            ASSERT_TRUE(testing::eventually([&] { return !signalPending(program.pid(), number); }));
            program.signal(number);
        }
        ASSERT_TRUE(program.waitForExit(5s));

        EXPECT_TRUE(testing::eventually(
            [&] {
                return std::none_of(workers.begin(), workers.end(),
                                    [](pid_t worker) { return testing::processIsAlive(worker); });
            },
            1s));
    }
}

}  // namespace
}  // namespace lumenary
