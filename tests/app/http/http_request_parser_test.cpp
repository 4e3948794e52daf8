#include "app/http/http_request_parser.hpp"

#include <gtest/gtest.h>

namespace lumenary::http {
namespace {

const std::string sample =
    "POST /mcp?x=1 HTTP/1.1\r\nHost: 127.0.0.1:8765\r\nContent-Length: 13\r\n  Mcp-Session-Id  :  abc \r\n"
    "X-Note: a:b:c\r\nNo colon here\r\n\r\n{\"id\":\"a:b\"}\n";

TEST(HTTPRequestParser, ReadsMethodPathHeadersAndExactlyTheDeclaredBody) {
    const auto result = parseRequest(sample);
    const auto* request = std::get_if<HTTPRequest>(&result);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->path, "/mcp?x=1");
    EXPECT_EQ(request->headers.size(), 4u);
    EXPECT_EQ(*request->header("mcp-session-id"), "abc");
    EXPECT_EQ(*request->header("x-note"), "a:b:c");
    EXPECT_EQ(request->body, "{\"id\":\"a:b\"}\n");
}

TEST(HTTPRequestParser, GivesTheSameRequestWhereverTheBytesAreSplit) {
    const auto whole = std::get<HTTPRequest>(parseRequest(sample));
    for (std::size_t split = 0; split <= sample.size(); ++split) {
        HTTPRequestParser parser;
        auto first = parser.feed(std::string_view(sample).substr(0, split));
        if (split < sample.size()) {
            ASSERT_TRUE(std::holds_alternative<HTTPRequestIncomplete>(first)) << "split at " << split;
            first = parser.feed(std::string_view(sample).substr(split));
        }
        const auto* request = std::get_if<HTTPRequest>(&first);
        ASSERT_NE(request, nullptr) << "split at " << split;
        EXPECT_EQ(request->headers, whole.headers);
        EXPECT_EQ(request->body, whole.body);
    }
    HTTPRequestParser parser;
    HTTPParseResult result;
    for (const char byte : sample) result = parser.feed(std::string_view(&byte, 1));
    EXPECT_EQ(std::get<HTTPRequest>(result).body, whole.body);
}

TEST(HTTPRequestParser, ReadsTheBoundariesOfWhatItAccepts) {
    struct Case {
        std::string request;
        std::string method, path, body;
    };
    const std::vector<Case> cases{
        {"POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", "POST", "/mcp", "{}"},
        {"get   /sse   HTTP/1.0\r\n\r\n", "get", "/sse", ""},
        {"GET /mcp\r\n\r\nleftover", "GET", "/mcp", ""},
        {"POST / HTTP/1.1\r\nContent-Length:  5 \r\n\r\nhello", "POST", "/", "hello"},
        {"POST / HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 3\r\n\r\nabcdef", "POST", "/", "abc"},
        {"POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "POST", "/", ""},
    };
    for (const auto& test : cases) {
        const auto result = parseRequest(test.request);
        const auto* request = std::get_if<HTTPRequest>(&result);
        ASSERT_NE(request, nullptr) << test.request;
        EXPECT_EQ(request->method, test.method);
        EXPECT_EQ(request->path, test.path);
        EXPECT_EQ(request->body, test.body);
    }
}

TEST(HTTPRequestParser, RefusesMalformedOrOversizedRequestsWithTheirStatus) {
    const HTTPRequestLimits limits{.maximumHeaderBytes = 1024, .maximumBodyBytes = 4096};
    const std::string longLine = "X-Long: " + std::string(1100, 'a') + "\r\n";
    struct Case {
        std::string request;
        int status;
    };
    const std::vector<Case> cases{
        {"POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: +5\r\n\r\nhello", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 5a\r\n\r\nhello", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 5 5\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length:\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 4097\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\n" + longLine, 431},
        {"POST / HTTP/1.1\r\n" + longLine + "\r\n", 431},
        {"POST\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nX-Bad: \xff\xfe\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nMcp-Session-Id: a\nX-Injected: 1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nMcp-Session-Id: a\rb\r\n\r\n", 400},
        {std::string("POST / HTTP/1.1\r\nX-Nul: a\0b\r\n\r\n", 32), 400},
        {"GET / HTTP/1.1\r\nOrigin: http://evil.example\r\nOrigin: http://localhost\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: evil.example\r\nX-A: 1\r\nhost: localhost\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nOrigin: http://localhost\r\n .evil.example\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: localhost\r\n\tevil.example: 80\r\n\r\n", 400},
    };
    for (const auto& test : cases) {
        const auto result = parseRequest(test.request, limits);
        const auto* error = std::get_if<HTTPRequestError>(&result);
        ASSERT_NE(error, nullptr) << test.request.substr(0, 80);
        EXPECT_EQ(error->status, test.status) << test.request.substr(0, 80) << ": " << error->reason;
    }
}

TEST(HTTPRequestParser, HoldsNoMoreThanItsLimitsWhileWaiting) {
    const HTTPRequestLimits limits{.maximumHeaderBytes = 1024, .maximumBodyBytes = 4096};
    HTTPRequestParser parser(limits);
    EXPECT_TRUE(std::holds_alternative<HTTPRequestIncomplete>(parser.feed(std::string(1027, 'a'))));
    EXPECT_LE(parser.bufferedBytes(), 1028u);
    EXPECT_TRUE(std::holds_alternative<HTTPRequestError>(parser.feed(std::string(1 << 20, 'a'))));

    HTTPRequestParser waiting(limits);
    EXPECT_TRUE(std::holds_alternative<HTTPRequestIncomplete>(
        waiting.feed("POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc")));
}

TEST(HTTPRequestParser, CountsBytesAfterTheRequestWithoutKeepingThem) {
    HTTPRequestParser parser;
    const auto result = parser.feed("GET /mcp HTTP/1.1\r\n\r\nGET /sse HTTP/1.1\r\n\r\n");
    EXPECT_EQ(std::get<HTTPRequest>(result).path, "/mcp");
    EXPECT_EQ(parser.excessBytes(), 21u);
}

}  // namespace
}  // namespace lumenary::http
