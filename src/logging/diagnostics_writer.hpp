#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace lumenary::logging {

// Diagnostic lines to a descriptor (the program's standard error) without
// ever making the thread that prints wait for a reader: lines go into a
// bounded queue that a thread of the writer's own writes out, started on the
// first line. When the queue is full, lines are dropped and counted; once the
// reader takes what is pending again, the count is written as a line of its
// own, where the dropped lines would have been. Once a line has come, the
// thread lets more gather for a moment (a millisecond) so that one write
// serves many; a flush cuts that short. A regular file never stops
// taking lines, so there a full queue makes the printer wait for room
// instead. A text is always written whole and in the order it was queued.
// Safe to use from any thread; its one mutex guards all of its state.
class DiagnosticsWriter {
public:
    struct Limits {
        std::size_t bytes = 1024 * 1024;
        std::size_t lines = 16 * 1024;
    };

    // How long a writer that is being destroyed, or a process that exits,
    // waits for queued lines to be written; a reader that takes nothing for
    // a tenth of a second ends the wait sooner.
    static constexpr std::chrono::milliseconds defaultClosingWait{1000};

    // Writes to `descriptor`, which it owns and closes when its last write
    // is done.
    explicit DiagnosticsWriter(int descriptor);
    DiagnosticsWriter(int descriptor, Limits limits, std::chrono::milliseconds closingWait);

    // Waits for the lines already queued, at most `closingWait`; a reader that
    // never reads does not hold it up (the thread finishes on its own).
    ~DiagnosticsWriter();

    DiagnosticsWriter(const DiagnosticsWriter&) = delete;
    DiagnosticsWriter& operator=(const DiagnosticsWriter&) = delete;

    // Queues a copy of `text`, one or more whole lines each ending in a line
    // feed, or drops it when the queue has no room for it. Never waits for a
    // reader; into a regular file it waits for room rather than drop.
    void write(std::string_view text);

    // Waits until everything queued before the call has been written, at
    // most `timeout`, and not while a reader takes nothing for a tenth of
    // a second. True when it has.
    bool flush(std::chrono::milliseconds timeout);

    // The process's standard error. Created on first use and never
    // destroyed; at exit it writes what is queued, waiting at most
    // `defaultClosingWait`. A child forked after it started gets a queue and
    // a thread of its own (what the parent had queued is the parent's).
    static DiagnosticsWriter& standardError();

private:
    struct State;
    DiagnosticsWriter(std::shared_ptr<State> state, std::chrono::milliseconds closingWait);

    std::shared_ptr<State> state_;
    std::chrono::milliseconds closingWait_;
};

// How a programming error in the logging library stops the process: `line`
// (without its line feed) goes to standard error after everything queued
// before it, waiting a bounded time, and the process aborts.
[[noreturn]] void abortWithDiagnostic(std::string_view line);

}  // namespace lumenary::logging
