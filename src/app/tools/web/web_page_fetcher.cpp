#include "app/tools/web/web_page_fetcher.hpp"

#include <algorithm>
#include <string_view>

#include <QUrl>

#include "app/tools/web/page_load.hpp"
#include "app/tools/web/web_engine_thread.hpp"
#include "app/tools/web/web_fetch_failure.hpp"
#include "async/worker_pool.hpp"
#include "platform/text/plain_text.hpp"

namespace lumenary::app {

namespace {

using Clock = std::chrono::steady_clock;

bool isWebURL(std::string_view url) {
    const auto scheme = platform::asciiLowercased(url.substr(0, url.find(':')));
    return url.find("://") == scheme.size() && (scheme == "http" || scheme == "https");
}

}  // namespace

asio::awaitable<ToolOutcome<std::string>> WebPageFetcher::fetchHTML(std::string url, std::chrono::milliseconds timeout) {
    if (!isWebURL(url)) {
        co_return webFetchFailure("Only http and https pages can be fetched, not " + url);
    }
    // The engine ignores an address it cannot read, which would leave the
    // caller waiting out the limit.
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty()) {
        co_return webFetchFailure("Not a web page address: " + url);
    }
    const auto limit = std::min(timeout, longestFetch);
    const auto deadline = Clock::now() + limit;
    // The first fetch waits for the engine to start, off the caller's
    // executor.
    auto startupError = co_await async::runBlocking([] { return WebEngineThread::shared().startupError(); });
    if (startupError) {
        co_return webFetchFailure(std::move(*startupError));
    }
    FetchContinuation done;
    const auto posted =
        WebEngineThread::shared().post([url, deadline, limit, done](QWebEngineProfile& profile, QObject& owner) {
            PageLoad::start(profile, owner, url, deadline, limit, done);
        });
    if (!posted) {
        co_return webFetchFailure("The web engine stopped before the page " + url + " loaded");
    }
    co_return co_await done.wait();
}

}  // namespace lumenary::app
