#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <asio/awaitable.hpp>

#include "app/tools/tool_outcome.hpp"

namespace lumenary::app {

// Fetches the HTML of a web page as the server sends it, decoded to UTF-8
// from the charset its Content-Type names (else read as UTF-8, with bytes
// that are not repaired). The page's own scripts do not run: that would take
// an off-screen web engine, and nothing calls the fetcher yet to justify
// one.
//
// Only http and https pages are read, the first request and every redirect
// target alike (at most five redirects); a body may be 16 MiB at most, and
// the whole fetch takes 30 s at most whatever the caller allows. Failures
// are "WebPageFetcher" 500 errors that say which limit was passed, give the
// transfer's own description, or say "Failed to get HTML" when the answer
// holds no text.
class WebPageFetcher {
public:
    static constexpr int maximumRedirects = 5;
    static constexpr std::size_t maximumBodyBytes = 16 * 1024 * 1024;
    static constexpr std::chrono::milliseconds longestFetch{30'000};

    // Runs the transfer on the worker pool.
    static asio::awaitable<ToolOutcome<std::string>> fetchHTML(std::string url, std::chrono::milliseconds timeout);

    // The same, blocking, for callers already on the worker pool.
    static ToolOutcome<std::string> fetchHTMLBlocking(const std::string& url, std::chrono::milliseconds timeout);
};

}  // namespace lumenary::app
