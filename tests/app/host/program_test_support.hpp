#pragma once

// What the tests that start the real program share: a free loopback port, a
// check that an instance serves there, a wait with a deadline, the
// initialize request, a file's whole text, one tool call over the
// program's standard input and output, and the program's running children.
#include <stdlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"

namespace lumenary::testing {

// The programs these tests start serve without their panel, even where the
// test gives them a display.
inline const bool programsRunWithoutPanel = [] { return ::setenv("LUMENARY_NO_PANEL", "1", 1) == 0; }();

inline constexpr std::string_view initializeRequest =
    R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
    R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})";

// The file's whole text; empty when it cannot be read.
inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::uint16_t freePort() {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

inline bool answersOptions(std::uint16_t port) {
    return parseResponse(exchange(port, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")).status == 204;
}

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Sends a tools/call with `id` and reads its answer: the result's text
// ("Error: ..." when the tool failed), or "no answer" when none came.
inline std::string toolCallText(ChildProcess& program, int id, const std::string& name, const std::string& arguments,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    program.writeLine(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                      R"(,"method":"tools/call","params":{"name":")" + name + R"(","arguments":)" + arguments + "}}");
    const auto line = program.readLine(timeout);
    if (!line) return "no answer";
    const auto result = *mcp::parseJSON(*line).find("result");
    return *result.find("content")->arrayValue()->at(0).find("text")->stringValue();
}

// The children of `parent` named `name` that still run.
inline std::vector<pid_t> runningChildren(pid_t parent, const std::string& name) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto id = entry.path().filename().string();
        if (id.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream status(entry.path() / "status");
        std::string line;
        bool named = false;
        bool ours = false;
        while (std::getline(status, line)) {
            named |= line == "Name:\t" + name;
            ours |= line == "PPid:\t" + std::to_string(parent);
        }
        if (named && ours) children.push_back(std::stoi(id));
    }
    return children;
}

}  // namespace lumenary::testing
