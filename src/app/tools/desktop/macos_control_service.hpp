#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/thread_pool.hpp>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/input_events.hpp"

namespace lumenary::app {

// The desktop as the desktop-control tools see it: the running
// applications, one application's element tree, clicks and typed text.
//
// Neither the accessibility bus's library nor the X library may be called
// from several threads, so every call into either runs on one thread of the
// service's own, one at a time in the order asked: the events of two calls
// that overlap never interleave, and the awaiting executor never waits on
// the desktop.
class MacOSControlService {
public:
    struct AppInfo {
        std::string name;
        std::string bundleIdentifier;
        std::int32_t processIdentifier = 0;
    };

    struct UIElement {
        std::string role;
        std::string title;
        std::string description;
        std::string value;
        std::string subrole;
        std::string identifier;
        // "(x, y, width, height)", or empty without extents.
        std::string frame;
        // Absent when the element yields no children (or sits at the depth
        // limit), never an empty list.
        std::optional<std::vector<UIElement>> children;
    };

    enum class ClickResult {
        clicked,
        // The point is not on the screen; nothing was posted.
        offScreen,
        // Events cannot be posted (the display went away).
        undeliverable,
    };
    struct ClickOutcome {
        ClickResult result = ClickResult::clicked;
        platform::ScreenSize screen;
    };

    // The tree's application element is at depth 0; elements at this depth
    // have no children read.
    static constexpr int treeDepthLimit = 5;
    // An element contributes at most this many children.
    static constexpr int childrenLimit = 50;

    // Both layers are called, and destroyed, on the service's own thread
    // only. `ownProcess` is left out of the running applications.
    MacOSControlService(std::unique_ptr<platform::Accessibility> accessibility,
                        std::unique_ptr<platform::InputEvents> inputEvents, pid_t ownProcess);
    ~MacOSControlService();
    MacOSControlService(const MacOSControlService&) = delete;
    MacOSControlService& operator=(const MacOSControlService&) = delete;

    // Nothing when events can be posted and the accessibility bus answers;
    // otherwise every reason why not, as sentences joined by a blank.
    asio::awaitable<std::optional<std::string>> trustRefusal();

    // The applications on the accessibility bus with at least one top-level
    // element, in the bus's order, this process left out.
    asio::awaitable<std::vector<AppInfo>> listRunningApps();

    // The element tree of the application with process id `pid`, down to
    // the depth limit; a root with empty texts when no application has it.
    asio::awaitable<UIElement> getUIElementTree(pid_t pid);

    // A left click at the screen pixel that holds (x, y).
    asio::awaitable<ClickOutcome> click(double x, double y);

    // Types each code point of `codePoints` in turn, up to the first that
    // cannot be typed; nothing once the service stops.
    asio::awaitable<platform::TypingOutcome> typeText(std::u32string codePoints);

    // Takes back, on the service's thread and without waiting for it, the
    // keys that earlier runs borrowed for typing on this display and never
    // gave back.
    void takeBackAbandonedKeys();

    // The desktop's part of the program's orderly stop, callable from any
    // thread and more than once: typing under way stops after the character
    // it is at, later calls type nothing, and the service's thread gives back
    // the keys borrowed for typing once their hold is over.
    void stop();

    // Waits at most `limit` for the keys to be given back after `stop`;
    // true when they were.
    bool waitUntilStopped(std::chrono::milliseconds limit);

private:
    struct Desktop {
        std::unique_ptr<platform::Accessibility> accessibility;
        std::unique_ptr<platform::InputEvents> inputEvents;
        pid_t ownProcess;
    };

    std::shared_ptr<Desktop> desktop_;
    std::stop_source stopping_;
    std::shared_ptr<std::promise<void>> keysGivenBack_ = std::make_shared<std::promise<void>>();
    std::shared_future<void> keysGivenBackFuture_ = keysGivenBack_->get_future().share();
    // Declared last so that it is joined first: no work of the thread
    // outlives the layers it uses.
    asio::thread_pool thread_{1};
};

}  // namespace lumenary::app
