#include "app/http/http_request_parser.hpp"

#include <gtest/gtest.h>

namespace lumenary::http {
namespace {

const std::string sample =
    "POST /mcp?x=1 HTTP/1.1\r\nHost: 127.0.0.1:8765\r\nContent-Length: 13\r\nMcp-Session-Id:  abc \t\r\n"
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

const std::string chunkedSample =
    "POST /mcp HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
    "7;name=\"a;b\"\r\n{\"id\":1\r\n1\r\n}\r\n000\r\nX-Trailer: t\r\n\r\nleft";

TEST(HTTPRequestParser, GivesTheSameRequestWhereverTheBytesAreSplit) {
    for (const std::string& text : {sample, chunkedSample}) {
        HTTPRequestParser wholeParser;
        const auto whole = std::get<HTTPRequest>(wholeParser.feed(text));
        const std::size_t requestEnd = text.size() - wholeParser.excessBytes();
        for (std::size_t split = 0; split <= text.size(); ++split) {
            HTTPRequestParser parser;
            auto first = parser.feed(std::string_view(text).substr(0, split));
            if (split < requestEnd) {
                ASSERT_TRUE(std::holds_alternative<HTTPRequestIncomplete>(first)) << "split at " << split;
                first = parser.feed(std::string_view(text).substr(split));
            }
            const auto* request = std::get_if<HTTPRequest>(&first);
            ASSERT_NE(request, nullptr) << "split at " << split;
            EXPECT_EQ(request->headers, whole.headers);
            EXPECT_EQ(request->body, whole.body);
        }
        HTTPRequestParser parser;
        HTTPParseResult result;
        for (const char byte : text) {
            result = parser.feed(std::string_view(&byte, 1));
            if (!std::holds_alternative<HTTPRequestIncomplete>(result)) break;
        }
        EXPECT_EQ(std::get<HTTPRequest>(result).body, whole.body);
    }
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
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "POST", "/", ""},
        {"POST / HTTP/1.1\r\nTransfer-Encoding:  Chunked \r\n\r\nA\r\n0123456789\r\n0\r\n\r\n", "POST", "/",
         "0123456789"},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2 ; ext\r\n{}\r\n0\r\nA: 1\r\nB: 2\r\n\r\n", "POST",
         "/", "{}"},
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
    std::string manyTrailerLines;
    for (int line = 0; line < 40; ++line) manyTrailerLines += "X-Trailer: " + std::string(20, 'a') + "\r\n";
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
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 2\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", 501},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1001\r\n", 413},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n800\r\n" + std::string(2048, 'a') +
             "\r\n801\r\n",
         413},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffffffffffffff\r\n", 413},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000001\r\n", 413},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n-1\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0x2\r\n{}\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\n{}\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}}\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}0\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nA: 1\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1;" + std::string(1100, 'x'), 431},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n" + manyTrailerLines, 431},
    };
    for (const auto& test : cases) {
        const auto result = parseRequest(test.request, limits);
        const auto* error = std::get_if<HTTPRequestError>(&result);
        ASSERT_NE(error, nullptr) << test.request.substr(0, 80);
        EXPECT_EQ(error->status, test.status) << test.request.substr(0, 80) << ": " << error->reason;
    }
}

// Forms that one reader takes for a header and another for none, or for
// another header, or that never reach a blank line: each is refused, and as
// soon as its offending byte is in.
TEST(HTTPRequestParser, RefusesHeaderLinesThatReadersCouldReadTwoWays) {
    struct Case {
        std::string head;
        std::string reason;
    };
    const std::string nameSpace = "Request header name holds whitespace";
    const std::string folded = "Request header line is folded over several lines";
    const std::string bareLineFeed = "Request header line ends in a bare LF";
    const std::vector<Case> cases{
        {"POST / HTTP/1.1\r\nTransfer-Encoding\t: chunked\r\n\r\n", nameSpace},
        {"POST / HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n", nameSpace},
        {"GET / HTTP/1.1\r\nHost : localhost\r\n\r\n", nameSpace},
        {"GET / HTTP/1.1\r\nX-Two Words: 1\r\n\r\n", nameSpace},
        {"POST / HTTP/1.1\r\nTransfer-Encoding:\r\n chunked\r\n\r\n", folded},
        {"POST / HTTP/1.1\r\nX-A: 1\r\n\tTransfer-Encoding: chunked\r\n\r\n", folded},
        {"GET / HTTP/1.1\r\n Host: localhost\r\n\r\n", folded},
        {"GET / HTTP/1.1\r\nHost: localhost\r\n .evil.example\r\n\r\n", "Host header is folded over several lines"},
        {"GET /mcp HTTP/1.1\n", bareLineFeed},
        {"GET /mcp HTTP/1.1\r\nHost: localhost\n", bareLineFeed},
        {"\n", bareLineFeed},
        {"POST / HTTP/1.1\r\nContent-Length: 2\r\n\n", bareLineFeed},
    };
    for (const auto& test : cases) {
        const auto whole = parseRequest(test.head);
        const auto* error = std::get_if<HTTPRequestError>(&whole);
        ASSERT_NE(error, nullptr) << test.head;
        EXPECT_EQ(error->status, 400) << test.head;
        EXPECT_EQ(error->reason, test.reason) << test.head;

        // Byte by byte, the refusal comes with the head's last byte at the
        // latest: never a wait for more.
        HTTPRequestParser parser;
        HTTPParseResult result;
        for (const char byte : test.head) {
            result = parser.feed(std::string_view(&byte, 1));
            if (!std::holds_alternative<HTTPRequestIncomplete>(result)) break;
        }
        EXPECT_EQ(std::get_if<HTTPRequestError>(&result) ? std::get<HTTPRequestError>(result).reason : "",
                  test.reason)
            << test.head;
    }
}

// The body budget charges what declaredBodyBytes() says after each read,
// the read that completes the request included.
TEST(HTTPRequestParser, DeclaresAChunkedBodysBytesOnceTheReadThatEndsItIsIn) {
    const std::string head = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string chunks = "6\r\nabcdef\r\n4\r\nghij\r\n0\r\n\r\n";
    for (const std::size_t split : {std::size_t{0}, head.size(), head.size() + 12, head.size() + chunks.size() - 1}) {
        HTTPRequestParser parser;
        const std::string text = head + chunks;
        if (split > 0) {
            ASSERT_TRUE(std::holds_alternative<HTTPRequestIncomplete>(parser.feed(text.substr(0, split))));
        }
        const auto result = parser.feed(text.substr(split));
        ASSERT_EQ(std::get<HTTPRequest>(result).body, "abcdefghij") << "split at " << split;
        EXPECT_EQ(parser.declaredBodyBytes(), 10u) << "split at " << split;
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

    // A chunked body's bytes are known chunk by chunk, before their data.
    HTTPRequestParser chunked(limits);
    chunked.feed("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
    EXPECT_EQ(chunked.declaredBodyBytes(), 0u);
    chunked.feed("10\r\nabc");
    EXPECT_EQ(chunked.declaredBodyBytes(), 16u);
    chunked.feed(std::string(13, 'd') + "\r\n20\r\n");
    EXPECT_EQ(chunked.declaredBodyBytes(), 48u);
}

TEST(HTTPRequestParser, CountsBytesAfterTheRequestWithoutKeepingThem) {
    HTTPRequestParser parser;
    const auto result = parser.feed("GET /mcp HTTP/1.1\r\n\r\nGET /sse HTTP/1.1\r\n\r\n");
    EXPECT_EQ(std::get<HTTPRequest>(result).path, "/mcp");
    EXPECT_EQ(parser.excessBytes(), 21u);
}

}  // namespace
}  // namespace lumenary::http
