#pragma once

#include <chrono>
#include <functional>

namespace lumenary::app {

// The longest an orderly stop may take. A tool call stuck in blocking work
// (on the worker pool or the desktop thread) cannot be cancelled, and
// waiting for it would leave the person's stop unanswered for as long as
// it hangs; once the deadline passes, the process ends without it, the
// system closing its sockets and ending its threads.
//
// Concurrency: every member may be called from any thread. Its state is
// never destroyed, so the deadline holds while static destructors run.
class StopDeadline {
public:
    // Once armed, ends the process with `status` after `limit` unless the
    // stop has finished by then. Shortly before, the replies already queued
    // for standard output are written while their reader takes them, never
    // past the limit and without ending the stop; at the limit, `lastWords`
    // (what must reach the disk) runs first. Only the first call arms; later
    // ones do nothing.
    static void arm(std::chrono::milliseconds limit, std::function<void()> lastWords, int status);

    // The end of an orderly stop: runs `lastWords` here, unless the deadline
    // has begun to run its own, and then never returns, since the deadline
    // is about to end the process. Should the process still hang after this
    // (in its static destructors), the deadline ends it without last words.
    static void writeLastWords(const std::function<void()>& lastWords);
};

}  // namespace lumenary::app
