#pragma once

#include <chrono>
#include <system_error>

#include <asio/steady_timer.hpp>

namespace lumenary::async {

// Cancels `timer`'s wait so that its deadline no longer wakes an idle
// thread. asio arms its reactor's timerfd when a timer becomes the earliest,
// never when one is cancelled, so a finished request's deadline would still
// wake the thread when it would have run out. A far wait, scheduled while no
// other timer is pending, becomes the earliest and moves that wake-up to
// asio's longest wait; while other timers are pending it costs no system
// call.
inline void cancelQuietly(asio::steady_timer& timer) {
    timer.expires_after(std::chrono::hours(1));
    timer.async_wait([](std::error_code) {});
    timer.cancel();
}

}  // namespace lumenary::async
