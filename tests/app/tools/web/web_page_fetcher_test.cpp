#include "app/tools/web/web_page_fetcher.hpp"

#include <cstdlib>
#include <filesystem>

#include <asio/experimental/awaitable_operators.hpp>
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
std::string fetched(const std::string& url, std::chrono::milliseconds timeout = 20s) {
    auto page = lumenary::testing::runAwaitable(WebPageFetcher::fetchHTML(url, timeout));
    if (!page) {
        return page.error().domain() + " " + std::to_string(page.error().code()) + " " + page.error().description();
    }
    return std::move(page).value();
}

CannedHTTPResponse htmlPage(std::string body, std::string contentType = "text/html", int status = 200) {
    return {.status = status, .headers = {{"Content-Type", std::move(contentType)}}, .body = std::move(body)};
}

TEST(WebPageFetcher, TheMarkupIsTheDocumentAsItsScriptsAndItsCharsetLeaveIt) {
    struct Case {
        CannedHTTPResponse answer;
        std::string markup;
    };
    const std::vector<Case> cases = {
        {htmlPage("<p id=x>old</p><script>document.getElementById('x').textContent = 'new';</script>"),
         "<p id=\"x\">new</p>"},
        {htmlPage("<p>Grüße</p>", "text/html; charset=utf-8"), "<p>Grüße</p>"},
        {htmlPage("<p>caf\xe9 \x80 5</p>", "text/html; charset=ISO-8859-1"), "<p>café € 5</p>"},
        {htmlPage("<p>\x93\xfa\x96\x7b</p>", "text/html;charset=\"Shift_JIS\""), "<p>日本</p>"},
        {htmlPage("<h1>Not Found</h1>", "text/html", 404), "<h1>Not Found</h1>"},
        {htmlPage("<script>document.removeChild(document.documentElement);</script>"),
         "WebPageFetcher 500 Failed to get HTML"},
        // In a comment, which the engine does not lay out: 17 MiB of text
        // laid out took the renderer past 20 s on a busy machine.
        {htmlPage("<body><script>document.body.appendChild(document.createComment('x'.repeat(17 * 1024 * 1024)));"
                  "</script>"),
         "WebPageFetcher 500 The page {url} is larger than 16 MiB"},
    };
    for (const auto& [answer, markup] : cases) {
        FakeHTTPEndpoint endpoint([answer](const ReceivedHTTPRequest&) { return answer; });
        const auto url = endpoint.url("/page");
        const auto page = fetched(url);
        auto expected = markup;
        if (const auto at = expected.find("{url}"); at != std::string::npos) expected.replace(at, 5, url);
        if (expected.starts_with("WebPageFetcher ")) {
            EXPECT_EQ(page, expected);
        } else {
            EXPECT_NE(page.find(expected), std::string::npos) << page;
        }
        EXPECT_NE(endpoint.requests().at(0).header("user-agent").value_or("").find(" Lumenary/"), std::string::npos);
    }
}

TEST(WebPageFetcher, FetchesAtOnceEachGetTheirOwnPage) {
    using namespace asio::experimental::awaitable_operators;
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return htmlPage("<body><script>document.body.textContent = 'page ' + location.pathname;</script>");
    });
    auto [first, second] = lumenary::testing::runAwaitable(
        WebPageFetcher::fetchHTML(endpoint.url("/one"), 20s) && WebPageFetcher::fetchHTML(endpoint.url("/two"), 20s));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.value().find("page /one"), std::string::npos) << first.value();
    EXPECT_NE(second.value().find("page /two"), std::string::npos) << second.value();
}

TEST(WebPageFetcher, ServerAndScriptRedirectsAreFollowedUpToFive) {
    std::uint16_t port = 0;
    FakeHTTPEndpoint endpoint([&port](const ReceivedHTTPRequest& request) {
        const auto to = [](int status, std::string location) {
            return CannedHTTPResponse{.status = status, .headers = {{"Location", std::move(location)}}};
        };
        const auto self = "127.0.0.1:" + std::to_string(port);
        if (request.path == "/dir/start") return to(302, "second");
        if (request.path == "/dir/second") return to(301, "/third?x=1");
        if (request.path == "/third?x=1") return to(307, "//" + self + "/fourth");
        if (request.path == "/fourth") return htmlPage("<script>location.href = 'http://" + self + "/fifth';</script>");
        if (request.path == "/fifth") return to(303, "?page=6");
        if (request.path == "/fifth?page=6") return htmlPage("<p>arrived</p>");
        if (request.path.starts_with("/loop")) return to(302, "/loop" + request.path.substr(5) + "x");
        return CannedHTTPResponse{.status = 404};
    });
    port = endpoint.port();

    EXPECT_NE(fetched(endpoint.url("/dir/start")).find("<p>arrived</p>"), std::string::npos);
    EXPECT_EQ(fetched(endpoint.url("/loop")),
              "WebPageFetcher 500 More than 5 redirects from " + endpoint.url("/loop"));
    EXPECT_EQ(endpoint.requests().size(), 12U) << "six for the page, six for the loop";
}

TEST(WebPageFetcher, OnlyHttpAndHttpsPagesAreReadWhoeverRedirects) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.path == "/to-file") {
            return CannedHTTPResponse{.status = 302, .headers = {{"Location", "file:///etc/passwd"}}};
        }
        if (request.path == "/script-to-file") {
            return htmlPage("<p>stays</p><script>location.href = 'file:///etc/passwd';</script>");
        }
        if (request.path == "/script-fetches-file") {
            return htmlPage("<p id=x>stays</p><script>fetch('file:///etc/passwd').then(r => r.text())"
                            ".then(t => { document.getElementById('x').textContent = t; });</script>");
        }
        return htmlPage("<script>location.href = 'x-lumenary-test://hello';</script>");
    });
    const auto toFile = fetched(endpoint.url("/to-file"));
    EXPECT_TRUE(toFile.starts_with("WebEngine ")) << toFile;
    EXPECT_NE(toFile.find("REDIRECT"), std::string::npos) << toFile;
    for (const auto* path : {"/script-to-file", "/script-fetches-file"}) {
        const auto page = fetched(endpoint.url(path));
        EXPECT_NE(page.find("stays</p>"), std::string::npos) << page;
        EXPECT_EQ(page.find("root:"), std::string::npos) << page;
    }
    EXPECT_EQ(fetched(endpoint.url("/to-scheme")),
              "WebPageFetcher 500 Refused to follow a redirect to x-lumenary-test://hello: only http and https "
              "pages are fetched");
    for (const std::string url : {"file:///etc/passwd", "ftp://127.0.0.1/", "javascript:alert(1)", "/relative"}) {
        EXPECT_EQ(fetched(url), "WebPageFetcher 500 Only http and https pages can be fetched, not " + url);
    }
    for (const std::string url : {"http://[::1/", "https:///path", "http://exa mple.org/"}) {
        EXPECT_EQ(fetched(url), "WebPageFetcher 500 Not a web page address: " + url);
    }
}

TEST(WebPageFetcher, ASilentServerAndNoServerAreFailures) {
    FakeHTTPEndpoint slow([](const ReceivedHTTPRequest&) { return CannedHTTPResponse{.heldUntilReleased = true}; });
    const auto late = fetched(slow.url("/slow"), 300ms);
    slow.release();
    EXPECT_EQ(late, "WebPageFetcher 500 The page " + slow.url("/slow") + " did not load within 0.3 s");

    const auto nowhere = "http://127.0.0.1:" + std::to_string(lumenary::testing::unusedLoopbackPort()) + "/";
    EXPECT_EQ(fetched(nowhere), "WebEngine -102 The page " + nowhere + " did not load: net::ERR_CONNECTION_REFUSED");
}

// Run on its own as web.missing_engine, in a process whose engine helper
// is named where none is.
TEST(WebPageFetcher, AMissingEngineIsNamedNotWaitedFor) {
    const char* helper = std::getenv("QTWEBENGINE_PROCESS_PATH");
    if (!helper || std::filesystem::exists(helper)) {
        GTEST_SKIP() << "needs QTWEBENGINE_PROCESS_PATH naming a missing program";
    }
    EXPECT_EQ(fetched("http://127.0.0.1:9/"),
              "WebPageFetcher 500 The web engine is not installed: its helper program " + std::string(helper) +
                  " is missing");
}

}  // namespace
}  // namespace lumenary::app
