#include "app/tools/web/web_engine_thread.hpp"

#include <unistd.h>

#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include "app/tools/web/web_addresses.hpp"
#include "platform/program/program_version.hpp"

namespace lumenary::app {

namespace {

// Every request of every page, its scripts' included, passes here: only
// http and https go out, so no page reaches the file system or another
// scheme's handler.
class WebRequestsOnly final : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!isWebAddress(info.requestUrl())) {
            info.block(true);
        }
    }
};

// The engine's helper program, where the engine itself looks for it.
QString helperProgram() {
    const auto configured = qEnvironmentVariable("QTWEBENGINE_PROCESS_PATH");
    if (!configured.isEmpty()) {
        return configured;
    }
    return QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
}

// The application's arguments; the engine reads those after
// --webEngineArgs as its own switches (unless QTWEBENGINE_CHROMIUM_FLAGS
// replaces them).
std::vector<std::string> engineArguments() {
    std::vector<std::string> arguments = {"lumenary-web-engine",
                                          "-platform",
                                          "offscreen",
                                          "--webEngineArgs",
                                          "--disable-gpu",
                                          "--disable-component-update",
                                          "--disable-background-networking",
                                          "--disable-sync",
                                          "--no-pings",
                                          "--disable-domain-reliability",
                                          "--disable-breakpad"};
    if (geteuid() == 0) {
        arguments.emplace_back("--no-sandbox");
    }
    return arguments;
}

}  // namespace

class WebEngineThread::Inbox final : public QObject {
public:
    explicit Inbox(QWebEngineProfile& profile) : profile_(profile) {}
    QWebEngineProfile& profile() { return profile_; }

private:
    QWebEngineProfile& profile_;
};

WebEngineThread& WebEngineThread::shared() {
    static WebEngineThread thread;
    return thread;
}

WebEngineThread::WebEngineThread() {
    std::promise<std::optional<std::string>> started;
    auto startup = started.get_future();
    thread_ = std::thread([this, started = std::move(started)]() mutable { run(std::move(started)); });
    startupError_ = startup.get();
}

WebEngineThread::~WebEngineThread() {
    {
        std::lock_guard lock(mutex_);
        if (inbox_) {
            // Behind every piece of work already posted.
            QMetaObject::invokeMethod(inbox_, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
            inbox_ = nullptr;
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool WebEngineThread::post(std::function<void(QWebEngineProfile&, QObject&)> work) {
    std::lock_guard lock(mutex_);
    if (!inbox_) {
        return false;
    }
    auto* inbox = inbox_;
    QMetaObject::invokeMethod(
        inbox, [inbox, work = std::move(work)] { work(inbox->profile(), *inbox); }, Qt::QueuedConnection);
    return true;
}

void WebEngineThread::run(std::promise<std::optional<std::string>> started) {
    if (QCoreApplication::instance()) {
        started.set_value("The web engine cannot start beside another Qt application in this process");
        return;
    }
    const auto helper = helperProgram();
    if (!QFileInfo(helper).isExecutable()) {
        started.set_value("The web engine is not installed: its helper program " + helper.toStdString() +
                          " is missing");
        return;
    }
    // The engine's start-up report is for its own developers.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));

    auto arguments = engineArguments();
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    // The engine shares its graphics contexts with the application's; it
    // asks for this before the application exists, though it draws nothing.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication application(argc, argv.data());
    {
        QWebEngineProfile profile;  // no storage name: off the record, nothing written to disk
        profile.setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile.setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        profile.setSpellCheckEnabled(false);
        // A browser's name, so that sites serve their ordinary pages, and
        // ours after it.
        profile.setHttpUserAgent(profile.httpUserAgent() + " " +
                                 QString::fromStdString(platform::programUserAgent()));
        auto* settings = profile.settings();
        settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
        WebRequestsOnly interceptor;
        profile.setUrlRequestInterceptor(&interceptor);
        {
            Inbox inbox(profile);
            {
                std::lock_guard lock(mutex_);
                inbox_ = &inbox;
            }
            started.set_value(std::nullopt);
            QGuiApplication::exec();
            // The pages, the inbox's children, go here, before the profile.
        }
    }
}

}  // namespace lumenary::app
