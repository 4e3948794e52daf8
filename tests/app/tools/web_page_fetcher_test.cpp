#include "app/tools/web/web_page_fetcher.hpp"

#include <gtest/gtest.h>

#include "support/fake_http_endpoint.hpp"
#include "support/run_awaitable.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;

// The page, or "<domain> <code> <description>".
std::string fetched(const std::string& url, std::chrono::milliseconds timeout = 10s) {
    auto page = lumenary::testing::runAwaitable(WebPageFetcher::fetchHTML(url, timeout));
    if (!page) {
        return page.error().domain() + " " + std::to_string(page.error().code()) + " " + page.error().description();
    }
    return std::move(page).value();
}

TEST(WebPageFetcher, ThePageIsDecodedFromTheCharsetItsContentTypeNamesElseReadAsUTF8) {
    struct Case {
        std::optional<std::string> contentType;
        std::string body;
        std::string page;
    };
    const std::vector<Case> cases = {
        {"text/html; charset=utf-8", "<p>Grüße</p>", "<p>Grüße</p>"},
        {"text/html; charset=ISO-8859-1", "<p>caf\xe9 \x80 5</p>", "<p>café € 5</p>"},
        {"text/html;charset=\"Shift_JIS\"", "<p>\x93\xfa\x96\x7b</p>", "<p>日本</p>"},
        {"text/html", "<p>a\xff" "b</p>", "<p>a\uFFFDb</p>"},
        {std::nullopt, "<p>plain</p>", "<p>plain</p>"},
        {"text/html; charset=x-no-such-set", "<p>caf\xe9</p>", "<p>caf\uFFFD</p>"},
        {"application/xhtml+xml; charset=UTF-8", "<html/>", "<html/>"},
    };
    for (const auto& [contentType, body, page] : cases) {
        FakeHTTPEndpoint endpoint([contentType, body](const ReceivedHTTPRequest&) {
            CannedHTTPResponse response{.body = body};
            if (contentType) response.headers.emplace_back("Content-Type", *contentType);
            return response;
        });
        EXPECT_EQ(fetched(endpoint.url("/page")), page) << contentType.value_or("no type");
        EXPECT_TRUE(endpoint.requests().at(0).header("user-agent").value_or("").starts_with("Lumenary/"));
    }
}

TEST(WebPageFetcher, AnErrorPageIsStillAPageButAnAnswerWithoutTextIsNot) {
    struct Case {
        CannedHTTPResponse answer;
        std::string page;
    };
    const std::vector<Case> cases = {
        {{.status = 404, .headers = {{"Content-Type", "text/html"}}, .body = "<h1>Not Found</h1>"},
         "<h1>Not Found</h1>"},
        {{.status = 200, .headers = {{"Content-Type", "text/html"}}}, "WebPageFetcher 500 Failed to get HTML"},
        {{.status = 200, .headers = {{"Content-Type", "image/png"}}, .body = "\x89PNG"},
         "WebPageFetcher 500 Failed to get HTML"},
    };
    for (const auto& [answer, page] : cases) {
        FakeHTTPEndpoint endpoint([answer](const ReceivedHTTPRequest&) { return answer; });
        EXPECT_EQ(fetched(endpoint.url("/page")), page);
    }
}

TEST(WebPageFetcher, RedirectsInEveryFormAreFollowedUpToFive) {
    std::uint16_t port = 0;
    FakeHTTPEndpoint endpoint([&port](const ReceivedHTTPRequest& request) {
        const auto to = [](int status, std::string location) {
            return CannedHTTPResponse{.status = status, .headers = {{"Location", std::move(location)}}};
        };
        const auto self = "127.0.0.1:" + std::to_string(port);
        if (request.path == "/dir/start") return to(302, "second");
        if (request.path == "/dir/second") return to(301, "/third?x=1");
        if (request.path == "/third?x=1") return to(307, "//" + self + "/fourth");
        if (request.path == "/fourth") return to(308, "http://" + self + "/fifth");
        if (request.path == "/fifth") return to(303, "?page=6");
        if (request.path == "/fifth?page=6") return CannedHTTPResponse{.body = "<p>arrived</p>"};
        if (request.path.starts_with("/loop")) return to(302, "/loop" + request.path.substr(5) + "x");
        return CannedHTTPResponse{.status = 404};
    });
    port = endpoint.port();

    EXPECT_EQ(fetched(endpoint.url("/dir/start")), "<p>arrived</p>");
    EXPECT_EQ(fetched(endpoint.url("/loop")),
              "WebPageFetcher 500 More than 5 redirects from " + endpoint.url("/loop"));
    EXPECT_EQ(endpoint.requests().size(), 12U) << "six for the page, six for the loop";
}

TEST(WebPageFetcher, OnlyHttpAndHttpsPagesAreReadRedirectTargetsIncluded) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.path == "/to-file") {
            return CannedHTTPResponse{.status = 302, .headers = {{"Location", "file:///etc/passwd"}}};
        }
        return CannedHTTPResponse{.status = 301, .headers = {{"Location", "gopher://127.0.0.1/"}}};
    });
    EXPECT_EQ(fetched(endpoint.url("/to-file")),
              "WebPageFetcher 500 Refused to follow a redirect to file:///etc/passwd: only http and https pages "
              "are fetched");
    EXPECT_EQ(fetched(endpoint.url("/to-gopher")),
              "WebPageFetcher 500 Refused to follow a redirect to gopher://127.0.0.1/: only http and https pages "
              "are fetched");
    for (const std::string url : {"file:///etc/passwd", "ftp://127.0.0.1/", "javascript:alert(1)", "/relative"}) {
        EXPECT_EQ(fetched(url), "WebPageFetcher 500 Only http and https pages can be fetched, not " + url);
    }
}

TEST(WebPageFetcher, ABodyPast16MiBASlowAnswerAndNoServerAreFailures) {
    FakeHTTPEndpoint large([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/html"}},
                                  .body = std::string(17 * 1024 * 1024, 'x')};
    });
    EXPECT_EQ(fetched(large.url("/big")), "WebPageFetcher 500 The page " + large.url("/big") + " is larger than 16 MiB");

    FakeHTTPEndpoint slow([](const ReceivedHTTPRequest&) { return CannedHTTPResponse{.heldUntilReleased = true}; });
    const auto started = std::chrono::steady_clock::now();
    const auto late = fetched(slow.url("/slow"), 300ms);
    slow.release();
    EXPECT_EQ(late, "WebPageFetcher 500 The page " + slow.url("/slow") + " did not load within 0.3 s");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    const auto nowhere = "http://127.0.0.1:" + std::to_string(lumenary::testing::unusedLoopbackPort()) + "/";
    const auto refused = fetched(nowhere);
    EXPECT_TRUE(refused.starts_with("WebPageFetcher 500 ")) << refused;
    EXPECT_NE(refused.find("onnect"), std::string::npos) << refused;
}

}  // namespace
}  // namespace lumenary::app
