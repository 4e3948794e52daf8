#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <QTimer>
#include <QWebEnginePage>

#include "app/tools/tool_outcome.hpp"
#include "async/one_shot.hpp"

class QWebEngineLoadingInfo;

namespace lumenary::app {

using FetchContinuation = async::OneShot<ToolOutcome<std::string>>;

// One fetch on the engine's thread: a page with no view that loads the
// address and, once navigation has finished, reads the document's markup
// by script, then resumes the waiting caller and goes.
//
// Its continuation is resumed at most once: it is emptied as it is
// resumed, and whatever the engine reports later finds none waiting. A page
// destroyed while its caller still waits (the engine stopping) tells the
// caller so.
class PageLoad final : public QWebEnginePage {
public:
    // Starts loading `url` (http or https) in `profile`; the page belongs to
    // `owner`. The fetch fails at `deadline`, `limit` after it was asked for.
    static void start(QWebEngineProfile& profile, QObject& owner, std::string url,
                      std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds limit,
                      FetchContinuation continuation);

    ~PageLoad() override;

protected:
    // Every navigation of the main frame after the first (a server's
    // redirect or the page's own script) counts as a redirect; only http
    // and https are followed.
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // A page's console is the page's business, not the program's output.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    PageLoad(QWebEngineProfile& profile, QObject& owner, std::string url,
             std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds limit,
             FetchContinuation continuation);

    void loadingChanged(const QWebEngineLoadingInfo& loading);
    void navigationFinished();
    void markupRead(const QVariant& markup);
    void finish(ToolOutcome<std::string> outcome);

    std::string url_;
    std::chrono::milliseconds limit_;
    std::optional<FetchContinuation> continuation_;
    QTimer deadline_;
    int navigations_ = 0;
    bool readingMarkup_ = false;
};

}  // namespace lumenary::app
