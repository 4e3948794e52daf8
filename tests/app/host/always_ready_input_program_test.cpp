// The real program with a standard input that is always ready and never ends
// a line, as a broken client or a mistaken redirect gives it: its HTTP
// sessions are served while it reads, and SIGTERM stops it in time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <functional>
#include <thread>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"
#include "system/ignore_broken_pipe_signals.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;

// A pipe that a thread of the test keeps as full as it can with bytes that
// are not line ends, until it is let go or the reader is gone.
class FloodedPipe {
public:
    FloodedPipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        readEnd_ = system::OwnedDescriptor(ends[0]);
        writeEnd_ = system::OwnedDescriptor(ends[1]);
        system::ignoreBrokenPipeSignals();
        // Never blocked in a write, so that it can be let go while a reader
        // that stopped reading still holds the pipe.
        ::fcntl(writeEnd_.get(), F_SETFL, O_NONBLOCK);
        writer_ = std::thread([this] {
            const std::string bytes(64 * 1024, 'x');
            while (!stopping_) {
                pollfd writable{writeEnd_.get(), POLLOUT, 0};
                if (::poll(&writable, 1, 50) < 0) break;
                if (::write(writeEnd_.get(), bytes.data(), bytes.size()) < 0 && errno != EAGAIN) break;
            }
        });
    }
    ~FloodedPipe() {
        stopping_ = true;
        writer_.join();
    }
    FloodedPipe(const FloodedPipe&) = delete;
    FloodedPipe& operator=(const FloodedPipe&) = delete;

    int readEnd() const { return readEnd_.get(); }

private:
    system::OwnedDescriptor readEnd_;
    system::OwnedDescriptor writeEnd_;
    std::atomic<bool> stopping_{false};
    std::thread writer_;
};

// One request on a fresh connection, and how long its answer took.
struct TimedExchange {
    testing::Response response;
    std::chrono::steady_clock::duration took;
};

TimedExchange timedPost(std::uint16_t port, std::string_view body, std::optional<std::string> sessionID = {}) {
    const auto start = std::chrono::steady_clock::now();
    auto reply = testing::exchange(port, testing::postRequest(body, std::move(sessionID)));
    return {testing::parseResponse(reply), std::chrono::steady_clock::now() - start};
}

TEST(ProgramWithAlwaysReadyInput, ServesHTTPSessionsAndStopsOnSIGTERMWhileItReads) {
    struct Case {
        const char* name;
        // The program's standard input, opened in the test's folder.
        std::function<system::OwnedDescriptor(const std::filesystem::path&)> openInput;
    };
    std::unique_ptr<FloodedPipe> pipe;
    const std::vector<Case> cases = {
        {"/dev/zero",
         [](const std::filesystem::path&) {
             return system::OwnedDescriptor(::open("/dev/zero", O_RDONLY | O_CLOEXEC));
         }},
        {"a regular file of 1 GB without line ends",
         [](const std::filesystem::path& folder) {
             system::OwnedDescriptor file(
                 ::open((folder / "input").c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
             // Sparse: its holes read as zeros and take no disk.
             if (file.get() >= 0 && ::ftruncate(file.get(), off_t{1} << 30) != 0) file.reset();
             return file;
         }},
        {"a pipe a thread keeps full",
         [&pipe](const std::filesystem::path&) {
             pipe = std::make_unique<FloodedPipe>();
             return system::OwnedDescriptor(::fcntl(pipe->readEnd(), F_DUPFD_CLOEXEC, 0));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TemporaryDirectory folder;
        testing::ScopedEnvironment environment;
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        const auto port = testing::freePort();
        std::ofstream(folder.path() / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
        auto input = c.openInput(folder.path());
        ASSERT_GE(input.get(), 0);
        testing::ChildProcess program({testing::siblingProgram("lumenary")}, input.get(),
                                      (folder.path() / "err").string());
        input.reset();
        ASSERT_TRUE(testing::eventually([&] { return testing::answersOptions(port); }))
            << testing::fileText(folder.path() / "err");

        const auto initialized = timedPost(port, testing::initializeRequest);
        ASSERT_EQ(initialized.response.status, 200) << initialized.response.body;
        EXPECT_LT(initialized.took, 1s);
        const auto session = initialized.response.header("Mcp-Session-Id");
        ASSERT_TRUE(session);
        const auto listed = timedPost(port, R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})", session);
        EXPECT_EQ(listed.response.status, 200);
        EXPECT_NE(listed.response.body.find(R"("tools":)"), std::string::npos) << listed.response.body;
        EXPECT_LT(listed.took, 1s);
        // Counted, so that the stop has something to write.
        const auto called = timedPost(
            port, R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"calendar_list"}})", session);
        EXPECT_EQ(called.response.status, 200);

        program.signal(SIGTERM);
        EXPECT_EQ(program.waitForExit(2s), 0);
        pipe.reset();
        const auto defaults = mcp::parseJSON(testing::fileText(folder.path() / "defaults.json"));
        const auto* count = defaults.find("toolCallCount");
        EXPECT_EQ(count ? count->intValue().value_or(-1) : 0, 1);
    }
}

}  // namespace
}  // namespace lumenary
