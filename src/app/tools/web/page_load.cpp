#include "app/tools/web/page_load.hpp"

#include <algorithm>

#include <QPointer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>

#include "app/tools/web/web_addresses.hpp"
#include "app/tools/web/web_fetch_failure.hpp"
#include "app/tools/web/web_page_fetcher.hpp"
#include "platform/text/plain_text.hpp"

namespace lumenary::app {

namespace {

// The document's markup, or its length when that passes the limit, so that
// an oversized page is refused without being copied out of the engine. A
// UTF-16 length past the limit is past it in UTF-8 bytes too. Run in a world
// of its own, where the page's scripts cannot replace what it calls.
QString markupScript() {
    return QStringLiteral(
               "(() => { const markup = document.documentElement.outerHTML; "
               "return markup.length > %1 ? markup.length : markup; })()")
        .arg(WebPageFetcher::maximumMarkupBytes);
}

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            return true;
        default:
            return false;
    }
}

}  // namespace

void PageLoad::start(QWebEngineProfile& profile, QObject& owner, std::string url,
                     std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds limit,
                     FetchContinuation continuation) {
    new PageLoad(profile, owner, std::move(url), deadline, limit, std::move(continuation));
}

PageLoad::PageLoad(QWebEngineProfile& profile, QObject& owner, std::string url,
                   std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds limit,
                   FetchContinuation continuation)
    : QWebEnginePage(&profile, &owner), url_(std::move(url)), limit_(limit), continuation_(std::move(continuation)) {
    connect(this, &QWebEnginePage::loadingChanged, this, &PageLoad::loadingChanged);
    // A renderer that dies reports no end of navigation: without this the
    // caller would wait out the whole limit.
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            [this](RenderProcessTerminationStatus, int exitCode) {
                finish(ToolError("WebEngine", exitCode,
                                 "The page " + url_ + " did not load: its render process ended"));
            });
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        finish(webFetchFailure("The page " + url_ + " did not load within " + platform::secondsText(limit_) + " s"));
    });
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    deadline_.start(std::max(left, std::chrono::milliseconds::zero()));
    load(QUrl(QString::fromStdString(url_)));
}

PageLoad::~PageLoad() {
    if (continuation_) {
        continuation_->resume(webFetchFailure("The web engine stopped before the page " + url_ + " loaded"));
    }
}

bool PageLoad::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    if (!continuation_) {
        return false;
    }
    if (!isMainFrame) {
        return isWebAddress(url) || url.scheme() == QLatin1String("about") || url.scheme() == QLatin1String("data") ||
               url.scheme() == QLatin1String("blob");
    }
    if (!isWebAddress(url)) {
        finish(webFetchFailure("Refused to follow a redirect to " + url.toString().toStdString() +
                            ": only http and https pages are fetched"));
        return false;
    }
    if (++navigations_ > 1 + WebPageFetcher::maximumRedirects) {
        finish(webFetchFailure("More than " + std::to_string(WebPageFetcher::maximumRedirects) + " redirects from " +
                            url_));
        return false;
    }
    return true;
}

void PageLoad::loadingChanged(const QWebEngineLoadingInfo& loading) {
    if (!continuation_ || readingMarkup_ || loading.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        return;
    }
    // Some navigations away (another scheme's handler, about:) never ask
    // first; they are refused when they report.
    if (!isWebAddress(loading.url())) {
        finish(webFetchFailure("Refused to follow a redirect to " + loading.url().toString().toStdString() +
                            ": only http and https pages are fetched"));
        return;
    }
    // A server's error status still brings the server's page.
    if (loading.status() == QWebEngineLoadingInfo::LoadSucceededStatus ||
        loading.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        navigationFinished();
        return;
    }
    finish(ToolError("WebEngine", loading.errorCode(),
                     "The page " + url_ + " did not load: " + loading.errorString().toStdString()));
}

void PageLoad::navigationFinished() {
    readingMarkup_ = true;
    QPointer<PageLoad> self(this);
    runJavaScript(markupScript(), QWebEngineScript::ApplicationWorld, [self](const QVariant& markup) {
        if (self) {
            self->markupRead(markup);
        }
    });
}

void PageLoad::markupRead(const QVariant& markup) {
    if (markup.typeId() == QMetaType::QString) {
        auto text = markup.toString().toStdString();
        if (text.size() > WebPageFetcher::maximumMarkupBytes) {
            finish(webFetchFailure("The page " + url_ + " is larger than 16 MiB"));
            return;
        }
        finish(std::move(text));
        return;
    }
    // The script gives the length as a number instead of an oversized text.
    if (isNumber(markup)) {
        finish(webFetchFailure("The page " + url_ + " is larger than 16 MiB"));
        return;
    }
    finish(webFetchFailure("Failed to get HTML"));
}

void PageLoad::finish(ToolOutcome<std::string> outcome) {
    if (!continuation_) {
        return;
    }
    const auto continuation = std::move(*continuation_);
    continuation_.reset();
    deadline_.stop();
    continuation.resume(std::move(outcome));
    // Not at once: the engine may be inside one of this page's own calls.
    deleteLater();
}

}  // namespace lumenary::app
