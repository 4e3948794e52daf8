#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <asio/awaitable.hpp>

#include "app/tools/tool_outcome.hpp"

namespace lumenary::app {

// Fetches the HTML of a web page as the page's own scripts leave it: the
// page loads in an off-screen web engine page and, once navigation has
// finished, the document's markup is read by script. The engine runs on a
// thread of its own (see WebEngineThread); the caller awaits on its own
// executor and is resumed there, once.
//
// Only http and https pages are loaded, the first address and every
// redirect target alike, whether a server or the page's own script
// redirects (at most five redirects); every request a page sends is held to
// the same two schemes. The markup may be 16 MiB at most, and the whole
// fetch takes 30 s at most whatever the caller allows. Nothing is kept:
// cookies, cache and storage live in memory and go with the engine.
//
// Failures: a navigation that fails gives the engine's own error (domain
// "WebEngine", the engine's error code and text); a server's error status
// is not a failure, its page is read. The limits give "WebPageFetcher" 500
// errors saying which was passed, and a document with no markup to read
// gives "Failed to get HTML". An engine that cannot start says why.
//
// Headless: the engine needs no display. It runs as root with its sandbox
// off (the sandbox cannot start there), as the engine's thread explains.
class WebPageFetcher {
public:
    static constexpr int maximumRedirects = 5;
    static constexpr std::size_t maximumMarkupBytes = 16 * 1024 * 1024;
    static constexpr std::chrono::milliseconds longestFetch{30'000};

    // `timeout` shortens the fetch below longestFetch, never lengthens it.
    static asio::awaitable<ToolOutcome<std::string>> fetchHTML(std::string url, std::chrono::milliseconds timeout);
};

}  // namespace lumenary::app
