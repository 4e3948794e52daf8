#include "app/tools/web/web_page_fetcher.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

#include "async/worker_pool.hpp"
#include "http_client/http_client.hpp"
#include "platform/program/program_version.hpp"
#include "platform/text/plain_text.hpp"
#include "platform/text/text_encoding.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

using Clock = std::chrono::steady_clock;

ToolError fetchFailure(std::string description) {
    return ToolError("WebPageFetcher", 500, std::move(description));
}

bool isWebURL(std::string_view url) {
    const auto scheme = platform::asciiLowercased(url.substr(0, url.find(':')));
    return url.find("://") == scheme.size() && (scheme == "http" || scheme == "https");
}

// The target of a Location header, which may be relative to the page that
// sent it.
std::string resolvedURL(const std::string& base, std::string_view reference) {
    reference = platform::trimmedBlanks(reference);
    const auto colon = reference.find(':');
    if (colon != std::string_view::npos &&
        reference.substr(0, colon).find_first_of("/?#") == std::string_view::npos) {
        return std::string(reference);
    }
    const auto schemeEnd = base.find("://");
    if (reference.starts_with("//")) {
        return base.substr(0, schemeEnd + 1) + std::string(reference);
    }
    const auto pathStart = base.find_first_of("/?#", schemeEnd + 3);
    const auto origin = base.substr(0, pathStart);
    if (reference.starts_with("/")) {
        return origin + std::string(reference);
    }
    std::string path = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    if (reference.starts_with("?")) {
        return origin + path + std::string(reference);
    }
    return origin + path.substr(0, path.rfind('/') + 1) + std::string(reference);
}

struct ContentType {
    std::string mediaType;
    std::optional<std::string> charset;
};

ContentType contentTypeOf(std::string_view field) {
    ContentType type;
    type.mediaType = platform::asciiLowercased(platform::trimmedBlanks(field.substr(0, field.find(';'))));
    for (auto rest = field.find(';'); rest != std::string_view::npos;) {
        const auto next = field.find(';', rest + 1);
        const auto parameter = platform::trimmedBlanks(field.substr(rest + 1, next == std::string_view::npos ? next : next - rest - 1));
        const auto equals = parameter.find('=');
        if (equals != std::string_view::npos && platform::asciiLowercased(platform::trimmedBlanks(parameter.substr(0, equals))) == "charset") {
            auto value = platform::trimmedBlanks(parameter.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            type.charset = std::string(value);
        }
        rest = next;
    }
    return type;
}

bool isText(const std::string& mediaType) {
    return mediaType.empty() || mediaType.starts_with("text/") || mediaType.ends_with("+xml") ||
           mediaType == "application/xml";
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

ToolOutcome<std::string> pageText(const http_client::HTTPClientResponse& response) {
    const auto type = contentTypeOf(response.headers.value("Content-Type").value_or(""));
    if (response.body.empty() || !isText(type.mediaType)) {
        return fetchFailure("Failed to get HTML");
    }
    if (type.charset) {
        if (auto decoded = platform::utf8FromCharset(response.body, *type.charset)) {
            return std::move(*decoded);
        }
    }
    return system::repairUTF8(response.body);
}

}  // namespace

asio::awaitable<ToolOutcome<std::string>> WebPageFetcher::fetchHTML(std::string url, std::chrono::milliseconds timeout) {
    auto work = [url = std::move(url), timeout] { return fetchHTMLBlocking(url, timeout); };
    co_return co_await async::runBlocking(std::move(work));
}

ToolOutcome<std::string> WebPageFetcher::fetchHTMLBlocking(const std::string& url, std::chrono::milliseconds timeout) {
    const auto limit = std::min(timeout, longestFetch);
    const auto deadline = Clock::now() + limit;
    const auto tooSlow = [&url, limit] {
        return fetchFailure("The page " + url + " did not load within " + platform::secondsText(limit) + " s");
    };
    http_client::HTTPClient client(maximumBodyBytes);
    std::string current = url;
    for (int redirects = 0;; ++redirects) {
        if (!isWebURL(current)) {
            return fetchFailure(redirects == 0 ? "Only http and https pages can be fetched, not " + current
                                               : "Refused to follow a redirect to " + current +
                                                     ": only http and https pages are fetched");
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero()) {
            return tooSlow();
        }
        const auto result = client.send(http_client::HTTPClientRequest{
            .url = current,
            .headers = {{"User-Agent", platform::programUserAgent()},
                        {"Accept", "text/html,application/xhtml+xml;q=0.9,*/*;q=0.8"}},
            .timeouts = {.idle = left, .total = left}});
        if (const auto* error = std::get_if<http_client::HTTPClientError>(&result)) {
            if (error->kind == http_client::HTTPClientError::Kind::timedOut) {
                return tooSlow();
            }
            if (error->kind == http_client::HTTPClientError::Kind::responseTooLarge) {
                return fetchFailure("The page " + current + " is larger than 16 MiB");
            }
            return fetchFailure(error->description);
        }
        const auto& response = std::get<http_client::HTTPClientResponse>(result);
        const auto location = response.headers.value("Location");
        if (!isRedirect(response.status) || !location) {
            return pageText(response);
        }
        if (redirects == maximumRedirects) {
            return fetchFailure("More than " + std::to_string(maximumRedirects) + " redirects from " + url);
        }
        current = resolvedURL(current, *location);
    }
}

}  // namespace lumenary::app
