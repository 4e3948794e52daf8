#pragma once

#include <chrono>
#include <system_error>

#include <asio/steady_timer.hpp>

namespace lumenary::async {

// Cancels `timer`'s wait so that its deadline no longer wakes an idle
// thread. asio arms its reactor's timerfd when a timer becomes the earliest,
// never when one is cancelled, so a finished request's deadline would still
// wake the thread when it would have run out. A wait as long as asio's
// longest (five minutes), scheduled while no shorter one is pending, becomes
// the earliest and moves that wake-up there; while a shorter one is pending
// it costs no system call, and that timer's own end re-arms the reactor.
inline void cancelQuietly(asio::steady_timer& timer) {
    timer.expires_after(std::chrono::minutes(5));
    timer.async_wait([](std::error_code) {});
    timer.cancel();
}

}  // namespace lumenary::async
