#include "app/tools/desktop/macos_control_service.hpp"

#include <cmath>
#include <utility>

#include <asio/post.hpp>

#include "async/worker_pool.hpp"
#include "mcp/core/value.hpp"
#include "platform/applications/launched_desktop_entry.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

using platform::AccessibleElement;

std::string readableText(const std::optional<std::string>& text) {
    return text ? system::repairUTF8(*text) : std::string();
}

// A whole value reads as an integer ("1"), any other in its shortest form.
std::string valueText(double value) {
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9.0e15) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    return mcp::doubleText(value);
}

std::string frameText(const platform::ScreenRectangle& box) {
    return "(" + mcp::doubleText(box.x) + ", " + mcp::doubleText(box.y) + ", " + mcp::doubleText(box.width) + ", " +
           mcp::doubleText(box.height) + ")";
}

MacOSControlService::UIElement buildElement(AccessibleElement& element, int depth) {
    MacOSControlService::UIElement snapshot;
    snapshot.role = readableText(element.roleName());
    snapshot.title = readableText(element.name());
    snapshot.description = readableText(element.description());
    if (auto text = element.text()) {
        snapshot.value = system::repairUTF8(*text);
    } else if (auto value = element.currentValue()) {
        snapshot.value = valueText(*value);
    }
    if (auto box = element.extents()) {
        snapshot.frame = frameText(*box);
    }
    if (depth >= MacOSControlService::treeDepthLimit) {
        return snapshot;
    }
    const int count = std::min(element.childCount(), MacOSControlService::childrenLimit);
    std::vector<MacOSControlService::UIElement> children;
    for (int index = 0; index < count; ++index) {
        // A child that went away meanwhile is left out, as if it never was.
        if (auto child = element.child(index)) {
            children.push_back(buildElement(*child, depth + 1));
        }
    }
    if (!children.empty()) {
        snapshot.children = std::move(children);
    }
    return snapshot;
}

}  // namespace

MacOSControlService::MacOSControlService(std::unique_ptr<platform::Accessibility> accessibility,
                                         std::unique_ptr<platform::InputEvents> inputEvents, pid_t ownProcess)
    : desktop_(std::make_shared<Desktop>(
          Desktop{std::move(accessibility), std::move(inputEvents), ownProcess})) {}

MacOSControlService::~MacOSControlService() {
    // The layers go on their own thread, after any work still queued there.
    asio::post(thread_, [desktop = std::move(desktop_)]() mutable { desktop.reset(); });
    thread_.join();
}

asio::awaitable<std::optional<std::string>> MacOSControlService::trustRefusal() {
    auto work = [desktop = desktop_]() -> std::optional<std::string> {
        auto events = desktop->inputEvents->unavailability();
        auto bus = desktop->accessibility->unavailability();
        if (events && bus) {
            return *events + " " + *bus;
        }
        return events ? events : bus;
    };
    co_return co_await async::runBlockingOn(thread_, std::move(work));
}

asio::awaitable<std::vector<MacOSControlService::AppInfo>> MacOSControlService::listRunningApps() {
    auto work = [desktop = desktop_] {
        std::vector<AppInfo> apps;
        for (const auto& application : desktop->accessibility->applications()) {
            const auto pid = application->processIdentifier();
            if (!pid || *pid == desktop->ownProcess || application->childCount() < 1) {
                continue;
            }
            std::string name = readableText(application->name());
            apps.push_back({.name = name.empty() ? "Unknown" : std::move(name),
                            .bundleIdentifier = system::repairUTF8(platform::launchedDesktopEntryIdentifier(*pid)),
                            .processIdentifier = static_cast<std::int32_t>(*pid)});
        }
        return apps;
    };
    co_return co_await async::runBlockingOn(thread_, std::move(work));
}

asio::awaitable<MacOSControlService::UIElement> MacOSControlService::getUIElementTree(pid_t pid) {
    auto work = [desktop = desktop_, pid] {
        for (const auto& application : desktop->accessibility->applications()) {
            if (application->processIdentifier() == pid) {
                return buildElement(*application, 0);
            }
        }
        return UIElement{};
    };
    co_return co_await async::runBlockingOn(thread_, std::move(work));
}

asio::awaitable<MacOSControlService::ClickOutcome> MacOSControlService::click(double x, double y) {
    auto work = [desktop = desktop_, x, y]() -> ClickOutcome {
        const auto screen = desktop->inputEvents->screenSize();
        if (!screen) {
            return {.result = ClickResult::undeliverable, .screen = {}};
        }
        // Compared as doubles first, so a huge coordinate never reaches the
        // conversion to a pixel.
        if (!(x >= 0 && x < screen->width && y >= 0 && y < screen->height)) {
            return {.result = ClickResult::offScreen, .screen = *screen};
        }
        desktop->inputEvents->click(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
        return {.result = ClickResult::clicked, .screen = *screen};
    };
    co_return co_await async::runBlockingOn(thread_, std::move(work));
}

asio::awaitable<platform::TypingOutcome> MacOSControlService::typeText(std::u32string codePoints) {
    auto work = [desktop = desktop_, codePoints = std::move(codePoints), stop = stopping_.get_token()] {
        return desktop->inputEvents->typeText(codePoints, stop);
    };
    co_return co_await async::runBlockingOn(thread_, std::move(work));
}

void MacOSControlService::takeBackAbandonedKeys() {
    asio::post(thread_, [desktop = desktop_] { desktop->inputEvents->takeBackAbandonedKeys(); });
}

void MacOSControlService::stop() {
    // Only the first request is granted; typing sees it between keys.
    if (!stopping_.request_stop()) {
        return;
    }
    asio::post(thread_, [desktop = desktop_, given = keysGivenBack_] {
        desktop->inputEvents->giveBackBorrowedKeys();
        given->set_value();
    });
}

bool MacOSControlService::waitUntilStopped(std::chrono::milliseconds limit) {
    return keysGivenBackFuture_.wait_for(limit) == std::future_status::ready;
}

}  // namespace lumenary::app
