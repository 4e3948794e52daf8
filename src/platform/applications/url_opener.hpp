#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// Hands a link (mailto:, https:, geo:, ...) to the desktop's handler for its
// scheme. Blocking for a short while: callers run it on the worker pool.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;

    // Nothing when the handler was started; otherwise why not, in words a
    // user can act on (domain "UrlOpener").
    virtual std::optional<PlatformError> open(const std::string& url) = 0;
};

// Opens links with xdg-open, started directly, never through a shell.
//
// Without a detected desktop xdg-open runs the handler in the foreground
// and returns only when the handler ends, and it answers status 3 both when
// no handler exists and when neither DISPLAY nor WAYLAND_DISPLAY is set. So
// its status is awaited for `statusWait`: a non-zero status is a failure
// carrying the last line of its standard error (its own verdict, after
// whatever the programs it tried said). Still running then, it has either
// started the handler or is still looking, which on a busy machine takes
// seconds when nothing takes the link. The desktop's defaults tell which:
// with a default application set for the link the handler is up; without
// one xdg-open's verdict is awaited for `verdictWait` more, and past that
// whatever of its other ways (mailcap, a browser) it started is taken to
// have the link. A child still running is left to the background reaper.
class XdgUrlOpener final : public UrlOpener {
public:
    explicit XdgUrlOpener(std::string executable = "xdg-open",
                          std::chrono::milliseconds statusWait = std::chrono::seconds(2),
                          std::chrono::milliseconds verdictWait = std::chrono::seconds(20));

    std::optional<PlatformError> open(const std::string& url) override;

private:
    std::string executable_;
    std::chrono::milliseconds statusWait_;
    std::chrono::milliseconds verdictWait_;
};

}  // namespace lumenary::platform
