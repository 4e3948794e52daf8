#pragma once

#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QObject;
class QWebEngineProfile;

namespace lumenary::app {

// The one thread of the process where the web engine lives. The engine
// wants a Qt application object of its own and every one of its objects on
// that application's thread, while fetches are awaited by coroutines on any
// executor; so this thread owns the application, an off-the-record profile
// and every page, and callers only post work to it. Results travel back by
// one-shots that resume the caller on its own executor.
//
// Started on the first fetch and kept for the life of the process: the
// engine's start-up (its helper processes, about half a second) is paid
// once. Stopped and joined at exit, pages first, then the profile, then the
// application, the order the engine needs.
//
// The engine runs headless on the offscreen platform whatever the display,
// which also keeps it from handing links to the desktop's opener. Its GPU
// use is off, and so are the component updates and background networking
// that would otherwise try to reach the vendor's servers. Its sandbox
// cannot start as root (nor without user namespaces); it is turned off for
// a root process (--no-sandbox), and QTWEBENGINE_DISABLE_SANDBOX=1 turns
// it off elsewhere. QTWEBENGINE_CHROMIUM_FLAGS, when set, replaces all of
// these switches (the engine's own rule): it must then carry them itself,
// "--no-sandbox --disable-gpu" at least for a root process.
//
// No other Qt application object may exist in the process: the engine's
// thread refuses to start beside one.
class WebEngineThread {
public:
    // The process's engine thread, started on first use.
    static WebEngineThread& shared();

    ~WebEngineThread();
    WebEngineThread(const WebEngineThread&) = delete;
    WebEngineThread& operator=(const WebEngineThread&) = delete;

    // Why the engine could not start (its helper program missing, another
    // Qt application in the process); empty once it runs.
    const std::optional<std::string>& startupError() const noexcept { return startupError_; }

    // Runs `work` on the engine's thread with the profile every page loads
    // in and the owner every page must take as its parent, so that pages go
    // before the profile at the end. Work posted before the thread stops
    // still runs. False when the engine is not running: the work is dropped.
    bool post(std::function<void(QWebEngineProfile& profile, QObject& pageOwner)> work);

private:
    WebEngineThread();
    void run(std::promise<std::optional<std::string>> started);

    std::optional<std::string> startupError_;
    // The engine thread's context object: work posted to it runs there.
    // Set while the application runs.
    class Inbox;
    std::mutex mutex_;
    Inbox* inbox_ = nullptr;
    std::thread thread_;
};

}  // namespace lumenary::app
