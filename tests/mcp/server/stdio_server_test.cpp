// A real server process over pipes, talked to as a client would.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "mcp/core/json.hpp"
#include "support/child_process.hpp"

namespace lumenary::mcp {
namespace {

using lumenary::testing::ChildProcess;
using namespace std::chrono_literals;

const std::string stdioInitializeRequest =
    R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05",)"
    R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})";
const std::string stdioInitializeReply =
    R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":true}},)"
    R"("protocolVersion":"2024-11-05","serverInfo":{"name":"test-server","version":"1.0.0"}}})";

std::string pingRequest(int id) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"ping"})";
}
std::string pingReply(int id) {
    return R"({"id":)" + std::to_string(id) + R"(,"jsonrpc":"2.0","result":{}})";
}

std::vector<std::string> serverCommand(std::vector<std::string> options = {}) {
    options.insert(options.begin(), lumenary::testing::siblingProgram("mcp_test_server"));
    return options;
}

// The code and detail of an error reply, and whether its id is a fresh UUID.
struct ErrorReply {
    std::int64_t code;
    std::string detail;
    std::string id;
};

ErrorReply errorReplyOf(const std::string& line) {
    const auto reply = parseJSON(line);
    const auto* error = reply.find("error");
    if (error == nullptr) return {0, "not an error: " + line, ""};
    const auto* detail = error->find("data") ? error->find("data")->find("detail") : nullptr;
    const auto* id = reply.find("id");
    return {*error->find("code")->intValue(), detail && detail->stringValue() ? *detail->stringValue() : "",
            id->stringValue() ? *id->stringValue() : id->description()};
}

bool isFreshID(const std::string& id) {
    return id.size() == 36 && id[8] == '-' && id[14] == '4';
}

TEST(StdioServer, AnswersAClientFromHandshakeToToolCall) {
    ChildProcess server(serverCommand());
    ASSERT_TRUE(server.writeLine(stdioInitializeRequest));
    EXPECT_EQ(server.readLine(), stdioInitializeReply);
    ASSERT_TRUE(server.writeLine(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"));
    ASSERT_TRUE(server.writeLine(R"({"jsonrpc":"2.0","id":"a","method":"tools/call",)"
                                 R"("params":{"name":"echo","arguments":{"path":"x/y"}}})"));
    EXPECT_EQ(server.readLine(),
              R"({"id":"a","jsonrpc":"2.0","result":{"content":[{"text":"{\"path\":\"x/y\"}","type":"text"}]}})");
    ASSERT_TRUE(server.writeLine(R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"fail"}})"));
    EXPECT_EQ(
        server.readLine(),
        R"({"id":3,"jsonrpc":"2.0","result":{"content":[{"text":"Error: it failed","type":"text"}],"isError":true}})");
    ASSERT_TRUE(server.writeLine(pingRequest(4)));
    EXPECT_EQ(server.readLine(), pingReply(4));
    server.closeInput();
    EXPECT_EQ(server.readAll(), "");
    EXPECT_EQ(server.waitForExit(), 0);
}

// Many lines arrive in one read and are answered while the client is not
// reading yet; one reply is larger than the pipe holds.
TEST(StdioServer, AnswersABurstInOrderWhileTheClientReadsLate) {
    ChildProcess server(serverCommand());
    const std::string argument(300 * 1024, 'b');
    const std::string bigRequest = R"({"jsonrpc":"2.0","id":"big","method":"tools/call",)"
                                   R"("params":{"name":"echo","arguments":{"p":")" +
                                   argument + R"("}}})";
    constexpr int pings = 3000;
    std::string burst;
    for (int id = 0; id < pings; ++id) {
        burst += pingRequest(id) + "\n";
        if (id == pings / 2) burst += bigRequest + "\n";
    }
    ASSERT_TRUE(server.write(burst));
    for (int id = 0; id < pings; ++id) {
        ASSERT_EQ(server.readLine(), pingReply(id));
        if (id == pings / 2) {
            const auto reply = server.readLine();
            ASSERT_TRUE(reply.has_value());
            const std::string expected = R"({"id":"big","jsonrpc":"2.0","result":{"content":[{"text":"{\"p\":\")" +
                                         argument + R"(\"}","type":"text"}]}})";
            EXPECT_TRUE(*reply == expected) << reply->size() << " bytes: " << reply->substr(0, 80);
        }
    }
    server.closeInput();
    EXPECT_EQ(server.readAll(), "");
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(StdioServer, AnswersALastLineWithoutNewline) {
    ChildProcess server(serverCommand());
    ASSERT_TRUE(server.write(pingRequest(9)));
    server.closeInput();
    EXPECT_EQ(server.readLine(), pingReply(9));
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(StdioServer, PeerClosingMidLineGetsAParseErrorAndACleanExit) {
    ChildProcess server(serverCommand());
    ASSERT_TRUE(server.write(R"({"jsonrpc":"2.0","id":1,"meth)"));
    server.closeInput();
    const auto reply = errorReplyOf(server.readLine().value_or(""));
    EXPECT_EQ(reply.code, -32700);
    EXPECT_EQ(reply.detail, "Invalid message format");
    EXPECT_EQ(server.waitForExit(), 0);
}

struct BadLine {
    std::string name;
    std::string line;
    std::int64_t code;
    std::string detail;
    bool freshID;
};

class StdioServerBadInput : public ::testing::TestWithParam<BadLine> {};

TEST_P(StdioServerBadInput, IsAnsweredAndTheServerCarriesOn) {
    const auto& bad = GetParam();
    ChildProcess server(serverCommand());
    ASSERT_TRUE(server.writeLine(bad.line));
    const auto reply = errorReplyOf(server.readLine().value_or(""));
    EXPECT_EQ(reply.code, bad.code);
    EXPECT_EQ(reply.detail, bad.detail);
    EXPECT_EQ(isFreshID(reply.id), bad.freshID) << reply.id;
    ASSERT_TRUE(server.writeLine(pingRequest(2)));
    EXPECT_EQ(server.readLine(), pingReply(2));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StdioServerBadInput,
    ::testing::Values(
        BadLine{"NotJSON", "hello there", -32700, "Invalid message format", true},
        BadLine{"BinaryGarbage", std::string("\x00\xff\xfe\x01{[", 6), -32700, "Invalid message format", true},
        BadLine{"InvalidUTF8", "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"\xc3\x28\"}", -32700,
                "Invalid message format", true},
        BadLine{"DeepNesting", std::string(100000, '['), -32700, "Invalid message format", true},
        BadLine{"EmptyBatch", "[]", -32600, "Batch array must not be empty", true},
        BadLine{"BatchOfNumbers", "[1,2]", -32700, "Invalid message format", true},
        BadLine{"WrongVersionKeepsItsID", R"({"jsonrpc":"1.0","id":5,"method":"ping"})", -32700,
                "Invalid message format", false},
        BadLine{"UnknownMethod", R"({"jsonrpc":"2.0","id":5,"method":"x"})", -32601, "Unknown method: x", false},
        BadLine{"CallWithoutParams", R"({"jsonrpc":"2.0","id":5,"method":"tools/call"})", -32603,
                "Missing required params field", false}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(StdioServer, DropsALineBeyondTheLimitAndAnswersTheNext) {
    ChildProcess server(serverCommand());
    std::thread writer([&] {
        server.writeLine(std::string(40 * 1024 * 1024, 'x'));
        server.writeLine(pingRequest(2));
    });
    const auto reply = errorReplyOf(server.readLine(60s).value_or(""));
    writer.join();
    EXPECT_EQ(reply.code, -32700);
    EXPECT_EQ(server.readLine(), pingReply(2));
}

TEST(StdioServer, RefusesEarlyRequestsUnderTheirOwnIDInStrictMode) {
    ChildProcess server(serverCommand({"--strict"}));
    ASSERT_TRUE(server.writeLine(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})"));
    const auto refused = errorReplyOf(server.readLine().value_or(""));
    EXPECT_EQ(refused.code, -32600);
    EXPECT_EQ(refused.detail, "Server is not initialized");
    EXPECT_EQ(refused.id, "7");
    // A refused notification is not answered: the next line is the ping's.
    ASSERT_TRUE(server.writeLine(R"({"jsonrpc":"2.0","method":"notifications/cancelled"})"));
    ASSERT_TRUE(server.writeLine(pingRequest(8)));
    EXPECT_EQ(server.readLine(), pingReply(8));
    ASSERT_TRUE(server.writeLine(stdioInitializeRequest));
    EXPECT_EQ(server.readLine(), stdioInitializeReply);
    ASSERT_TRUE(server.writeLine(R"({"jsonrpc":"2.0","id":9,"method":"tools/list"})"));
    EXPECT_TRUE(server.readLine().value_or("").starts_with(R"({"id":9,"jsonrpc":"2.0","result":{"tools":)"));
}

TEST(StdioServer, RunsWithInputFromDevNull) {
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    ChildProcess server(serverCommand(), devNull);
    ::close(devNull);
    EXPECT_EQ(server.readAll(), "");
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(StdioServer, RunsWithInputFromARegularFile) {
    char path[] = "/tmp/lumenary-stdin-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    const std::string requests = pingRequest(1) + "\n" + pingRequest(2);
    ASSERT_EQ(::write(file, requests.data(), requests.size()), static_cast<ssize_t>(requests.size()));
    ::lseek(file, 0, SEEK_SET);
    ChildProcess server(serverCommand(), file);
    ::close(file);
    ::unlink(path);
    EXPECT_EQ(server.readAll(), pingReply(1) + "\n" + pingReply(2) + "\n");
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(StdioServer, RunsWithInputFromASocket) {
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
    ChildProcess server(serverCommand(), sockets[1]);
    ::close(sockets[1]);
    const std::string request = pingRequest(3) + "\n";
    ASSERT_EQ(::write(sockets[0], request.data(), request.size()), static_cast<ssize_t>(request.size()));
    EXPECT_EQ(server.readLine(), pingReply(3));
    ::close(sockets[0]);
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(StdioServer, GivesTheSharedInputBackBlocking) {
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    // The test keeps its own copy of the read end: it shares the open file,
    // and so the non-blocking flag, with the server's standard input.
    ChildProcess server(serverCommand(), pipe[0]);
    const std::string request = pingRequest(1) + "\n";
    ASSERT_EQ(::write(pipe[1], request.data(), request.size()), static_cast<ssize_t>(request.size()));
    EXPECT_EQ(server.readLine(), pingReply(1));
    ::close(pipe[1]);
    EXPECT_EQ(server.waitForExit(), 0);
    EXPECT_EQ(::fcntl(pipe[0], F_GETFL) & O_NONBLOCK, 0);
    ::close(pipe[0]);
}

TEST(StdioServer, GivesTheSharedInputBackBlockingWhenItExitsAbruptly) {
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    ChildProcess server(serverCommand(), pipe[0]);
    const std::string requests =
        pingRequest(1) + "\n" + R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"exit"}})" + "\n";
    ASSERT_EQ(::write(pipe[1], requests.data(), requests.size()), static_cast<ssize_t>(requests.size()));
    EXPECT_EQ(server.readLine(), pingReply(1));
    EXPECT_EQ(server.waitForExit(), 0);
    EXPECT_EQ(::fcntl(pipe[0], F_GETFL) & O_NONBLOCK, 0) << "left non-blocking at exit";
    ::close(pipe[0]);
    ::close(pipe[1]);
}

// Resident memory of a process, from /proc.
std::size_t residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) return std::stoul(line.substr(6));
    }
    return 0;
}

TEST(StdioServer, StopsReadingWhenThePeerStopsReading) {
    ChildProcess server(serverCommand());
    const std::string argument(8 * 1024, 'p');
    const std::string request =
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"echo","arguments":{"p":")" + argument +
        "\"}}}\n";
    // Write without reading until the server stops taking input.
    ::fcntl(server.inputDescriptor(), F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    std::size_t requests = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - lastProgress < 500ms && written < 512 * 1024 * 1024) {
        const ssize_t count = ::write(server.inputDescriptor(), request.data() + written % request.size(),
                                      request.size() - written % request.size());
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            if (written % request.size() == 0) ++requests;
            lastProgress = std::chrono::steady_clock::now();
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_LT(written, 256U * 1024 * 1024) << "the server read on although nobody read its answers";
    EXPECT_LT(residentKilobytes(server.pid()), 300U * 1024);

    // Once the peer reads again every whole request is answered.
    ::fcntl(server.inputDescriptor(), F_SETFL, 0);
    std::size_t answers = 0;
    std::thread reader([&] {
        while (server.readLine(30s)) ++answers;
    });
    ASSERT_TRUE(server.write(request.substr(written % request.size())));
    ++requests;
    server.closeInput();
    reader.join();
    EXPECT_EQ(answers, requests);
    EXPECT_EQ(server.waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary::mcp
