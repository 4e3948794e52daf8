#include "app/http/http_response.hpp"

#include <gtest/gtest.h>

#include "logging/console.hpp"
#include "app/http/event_stream_text.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::http {
namespace {

TEST(HTTPResponse, WritesStatusHeadersInOrderLengthAndBody) {
    EXPECT_EQ(httpResponseBytes(202, "Accepted", {}, ""),
              "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(httpResponseBytes(200, "OK", {{"Content-Type", "application/json"}, {"Mcp-Session-Id", "s1"}}, "{}"),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nMcp-Session-Id: s1\r\nContent-Length: 2\r\n"
              "Connection: close\r\n\r\n{}");
    EXPECT_EQ(
        httpResponseBytes(404, "Not Found", {{"Content-Length", "99"}, {"Content-Type", "text/plain"}}, "abc"),
        "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\nabc");
}

TEST(HTTPResponse, WritesTheErrorBodyAsJSONRPCWithItsMembersInOrder) {
    EXPECT_EQ(
        jsonRPCErrorBody(-32603, "Internal error: Transport disconnected"),
        R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"Internal error: Transport disconnected"}})");
    for (const std::string& message : {std::string("say \"hi\"\\\n\t"), std::string("bad \xff byte")}) {
        const auto body = mcp::parseJSON(jsonRPCErrorBody(-32603, message));
        EXPECT_TRUE(body.find("id")->isNull());
        EXPECT_EQ(body.find("error")->find("code")->intValue(), -32603);
        EXPECT_NE(body.find("error")->find("message")->stringValue(), nullptr);
    }
}

TEST(EventStreamText, WritesTheHeadTheConnectedEventDataAndHeartbeat) {
    EXPECT_EQ(eventStreamHead("s1"),
              "HTTP/1.0 200 OK\r\n"
              "Content-Type: text/event-stream; charset=utf-8\r\n"
              "Cache-Control: no-cache, no-store, must-revalidate\r\n"
              "Pragma: no-cache\r\n"
              "Expires: 0\r\n"
              "X-Accel-Buffering: no\r\n"
              "Access-Control-Allow-Origin: *\r\n"
              "Access-Control-Allow-Headers: Cache-Control, Content-Type, Mcp-Session-Id\r\n"
              "Access-Control-Expose-Headers: Mcp-Session-Id\r\n"
              "Mcp-Session-Id: s1\r\n\r\n");
    EXPECT_EQ(connectedEvent("s1"), "event: connected\ndata: {\"type\": \"connected\", \"sessionId\": \"s1\"}\n\n");
    EXPECT_EQ(connectedEvent("a\"b"), "event: connected\ndata: {\"type\": \"connected\", \"sessionId\": \"a\\\"b\"}\n\n");
    EXPECT_EQ(dataEvent(R"({"jsonrpc":"2.0"})"), "data: {\"jsonrpc\":\"2.0\"}\n\n");
    EXPECT_EQ(heartbeatComment, ": heartbeat\n\n");
    EXPECT_EQ(heartbeatComment.size(), 13u);
}

TEST(Console, CutsTextAtCharactersNotBytes) {
    EXPECT_EQ(logging::leadingCharacters("abc", 2), "ab");
    EXPECT_EQ(logging::leadingCharacters("abc", 5), "abc");
    EXPECT_EQ(logging::leadingCharacters("\xc3\xa9\xe4\xb8\xad!", 2), "\xc3\xa9\xe4\xb8\xad");
}

}  // namespace
}  // namespace lumenary::http
