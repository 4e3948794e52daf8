// The real program's own descriptors: none of them reaches a child, a
// standard stream closed at its start breaks nothing, and a port another
// instance holds is named as such.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/host/program_test_support.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

using testing::ChildProcess;
using testing::eventually;

// Each descriptor of `pid` with the flags its fdinfo states.
std::map<int, long> descriptorFlags(pid_t pid) {
    std::map<int, long> flags;
    const auto folder = "/proc/" + std::to_string(pid) + "/fdinfo";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        std::ifstream info(entry.path());
        for (std::string line; std::getline(info, line);) {
            if (line.starts_with("flags:")) {
                flags[std::stoi(entry.path().filename().string())] = std::strtol(line.c_str() + 6, nullptr, 8);
            }
        }
    }
    return flags;
}

bool listsToolsOverHTTP(std::uint16_t port) {
    const auto initialized =
        testing::parseResponse(testing::exchange(port, testing::postRequest(testing::initializeRequest)));
    const auto session = initialized.header("Mcp-Session-Id");
    if (!session) return false;
    const auto listed = testing::parseResponse(
        testing::exchange(port, testing::postRequest(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})", session)));
    return listed.status == 200 && listed.body.find(R"("tools")") != std::string::npos;
}

class ProgramDescriptorsTest : public ::testing::Test {
protected:
    ProgramDescriptorsTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        std::ofstream(folder.path() / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
    }

    // The program, its standard error into `errorFile`, started through a
    // shell that first applies `redirection` to it. Its standard input is
    // `input`, else /dev/null.
    std::unique_ptr<ChildProcess> launch(const std::string& errorFile, const std::string& redirection = "",
                                         int input = -1) {
        const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        auto program =
            std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" " + redirection,
                                                                    testing::siblingProgram("lumenary")},
                                           input >= 0 ? input : nothing, (folder.path() / errorFile).string());
        ::close(nothing);
        return program;
    }
    std::string errors(const std::string& errorFile) const { return testing::fileText(folder.path() / errorFile); }

    testing::TemporaryDirectory folder;
    std::uint16_t port = testing::freePort();
};

TEST_F(ProgramDescriptorsTest, EveryDescriptorBeyondTheStandardStreamsIsCloseOnExec) {
    // What the program inherits from us is not its own to close.
    std::set<int> inherited;
    for (const auto& [descriptor, value] : descriptorFlags(::getpid())) {
        if ((::fcntl(descriptor, F_GETFD) & FD_CLOEXEC) == 0) inherited.insert(descriptor);
    }
    auto program = launch("service.err");
    ASSERT_TRUE(eventually([&] { return testing::answersOptions(port); })) << errors("service.err");
    ASSERT_TRUE(listsToolsOverHTTP(port));
    // A connection the program has accepted and still holds.
    testing::RawConnection held(port);
    held.send(testing::postRequest(testing::initializeRequest));
    ASSERT_TRUE(held.readUntil("\r\n\r\n"));

    const auto flags = descriptorFlags(program->pid());
    ASSERT_GT(flags.size(), 3u);
    for (const auto& [descriptor, value] : flags) {
        if (descriptor > STDERR_FILENO && !inherited.contains(descriptor)) {
            EXPECT_NE(value & O_CLOEXEC, 0) << descriptor << " -> "
                                            << std::filesystem::read_symlink("/proc/" + std::to_string(program->pid()) +
                                                                             "/fd/" + std::to_string(descriptor));
        }
    }
}

TEST_F(ProgramDescriptorsTest, ServesOverHTTPWithAStandardStreamClosedAtItsStart) {
    struct Case {
        const char* redirection;
        bool saysWhereItListens;
    };
    for (const auto& c : {Case{"<&-", true}, Case{"2>&-", false}}) {
        const std::string errorFile = std::string("closed") + std::to_string(c.saysWhereItListens) + ".err";
        auto program = launch(errorFile, c.redirection);
        EXPECT_TRUE(eventually([&] { return testing::answersOptions(port) && listsToolsOverHTTP(port); }))
            << c.redirection << ": " << errors(errorFile);
        if (c.saysWhereItListens) {
            EXPECT_TRUE(eventually([&] { return errors(errorFile).find("listening at") != std::string::npos; }))
                << errors(errorFile);
        }
        program->signal(SIGTERM);
        EXPECT_EQ(program->waitForExit(), 0) << c.redirection;
    }
}

TEST_F(ProgramDescriptorsTest, ASecondInstanceSaysARunningOneHoldsThePort) {
    auto first = launch("first.err");
    ASSERT_TRUE(eventually([&] { return testing::answersOptions(port); })) << errors("first.err");

    // Started from a terminal, it is a full instance of its own.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const int terminalInput = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminalInput, 0);
    auto second = launch("second.err", "", terminalInput);
    ::close(terminalInput);
    const auto expected = "Port " + std::to_string(port) + " is in use by a running Lumenary";
    EXPECT_TRUE(eventually([&] { return errors("second.err").find(expected) != std::string::npos; }))
        << errors("second.err");
    second->signal(SIGTERM);
    EXPECT_EQ(second->waitForExit(), 0);
    ::close(terminal);
}

}  // namespace
}  // namespace lumenary
