#include "logging/diagnostics_writer.hpp"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "system/write_all.hpp"

namespace lumenary::logging {

namespace {

std::string droppedLinesNotice(std::uint64_t count) {
    const bool one = count == 1;
    return "[Lumenary] " + std::to_string(count) + (one ? " diagnostic line was" : " diagnostic lines were") +
           " dropped while standard error was not being read\n";
}

// Room kept between bursts; anything beyond is given back once written.
constexpr std::size_t keptBufferCapacity = 64 * 1024;

// How long the thread lets lines gather once the first has come, so that
// one write serves many of them; short enough that a line still shows at
// once to whoever reads it.
constexpr auto gatheringTime = std::chrono::milliseconds(1);
// Gathered this much, it writes at once.
constexpr std::size_t gatheringBytes = 64 * 1024;

// A wait for written lines gives up once the reader has taken nothing for
// this long: a pipe that nobody drains (a launcher that never reads our
// standard error, say) would otherwise hold every flush, and the exit, for
// the whole of its timeout.
constexpr auto readerStallLimit = std::chrono::milliseconds(100);
// How often a waiting flush looks whether the reader still reads.
constexpr auto readerCheckInterval = std::chrono::milliseconds(10);

// Whether a write to `descriptor` would take bytes now, or fail at once (a
// reader that has gone): either way a writer on it is not held up.
bool takesBytesNow(int descriptor) {
    pollfd entry{descriptor, POLLOUT, 0};
    return ::poll(&entry, 1, 0) != 0;
}

}  // namespace

struct DiagnosticsWriter::State : std::enable_shared_from_this<State> {
    State(int descriptorToWrite, bool owned, Limits bounds)
        : descriptor(descriptorToWrite), ownsDescriptor(owned), limits(bounds) {}

    const int descriptor;
    const bool ownsDescriptor;
    const Limits limits;

    std::mutex mutex;
    std::condition_variable workQueued;  // the thread waits here for lines
    std::condition_variable progress;    // flushes and closing wait here for writes
    // The texts queued, one after the other, and how many they are. Joined
    // as they come, so that queueing one copies it and allocates nothing
    // once the room is there.
    std::string pending;
    std::size_t pendingLines = 0;
    // Taken from `pending` and being written; the two swap their room. A
    // member rather than the thread's own, so that a child forked after
    // the thread started can still reach it.
    std::string buffer;
    // While set, the thread has `buffer` to itself, outside the mutex.
    bool writing = false;
    // Queued and not yet written, `buffer` included: the bound covers both.
    std::size_t queuedBytes = 0;
    std::size_t queuedLines = 0;
    std::uint64_t queuedCount = 0;
    std::uint64_t writtenCount = 0;
    // The count a flush waits for, and how many printers wait for room:
    // either ends the gathering.
    std::uint64_t flushTarget = 0;
    std::size_t roomWaiters = 0;
    std::uint64_t dropped = 0;
    bool started = false;
    bool closing = false;
    bool finished = false;

    void write(std::string_view text) {
        std::unique_lock lock(mutex);
        if (!fits(text.size()) && started && writesNeverStall()) {
            // Only a reader who stops reading can hold lines up for ever; a
            // file takes them all, so a burst waits for room instead.
            ++roomWaiters;
            workQueued.notify_one();
            progress.wait(lock, [&] { return fits(text.size()) || queuedLines == 0; });
            --roomWaiters;
        }
        // The thread sleeps only on an empty queue, so only the first line
        // after that needs to wake it, or one that ends its gathering.
        const bool wasIdle = pending.empty();
        if (fits(text.size())) {
            if (dropped > 0) queueDroppedNotice();
            queue(text);
        } else {
            ++dropped;
            // With nothing queued nothing will drain: the line alone was too
            // long, so say so at once.
            if (queuedLines > 0) return;
            queueDroppedNotice();
        }
        if (!started) start();
        const bool mustWake = wasIdle || mustWriteNow();
        lock.unlock();
        if (mustWake) workQueued.notify_one();
    }

    bool writesNeverStall() const noexcept {
        struct stat status {};
        return ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    }

    bool fits(std::size_t size) const noexcept {
        return queuedLines < limits.lines && queuedBytes <= limits.bytes && size <= limits.bytes - queuedBytes;
    }

    // Whether the thread stops gathering: someone waits for the lines, or
    // so many have gathered that waiting longer risks the bound.
    bool mustWriteNow() const noexcept {
        return closing || flushTarget > writtenCount || roomWaiters > 0 || pending.size() >= gatheringBytes ||
               pending.size() >= limits.bytes / 2 || pendingLines >= limits.lines / 2;
    }

    // The notice itself may go past the bound: it is short, and once per
    // stretch of dropped lines.
    void queueDroppedNotice() {
        queue(droppedLinesNotice(dropped));
        dropped = 0;
    }

    void queue(std::string_view text) {
        queuedBytes += text.size();
        ++queuedLines;
        ++queuedCount;
        ++pendingLines;
        pending.append(text);
    }

    // A thread that cannot be started now is tried again with the next line;
    // meanwhile lines wait in the queue and, once it is full, are counted.
    void start() {
        try {
            std::thread([self = shared_from_this()] { self->run(); }).detach();
            started = true;
        } catch (const std::system_error&) {
        }
    }

    void run() {
        // Signals are for the threads that serve; a broken pipe only fails
        // this thread's write.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);

        std::unique_lock lock(mutex);
        while (true) {
            workQueued.wait(lock, [this] { return !pending.empty() || closing; });
            if (pending.empty()) break;
            workQueued.wait_for(lock, gatheringTime, [this] { return mustWriteNow(); });
            buffer.swap(pending);
            const std::size_t lines = std::exchange(pendingLines, 0);
            writing = true;
            lock.unlock();

            // A reader that has gone away loses the lines; there is nowhere
            // left to say so.
            static_cast<void>(system::writeAll(descriptor, buffer));
            const std::size_t bytes = buffer.size();
            buffer.clear();
            if (buffer.capacity() > keptBufferCapacity) std::string().swap(buffer);

            lock.lock();
            writing = false;
            queuedBytes -= bytes;
            queuedLines -= lines;
            writtenCount += lines;
            if (dropped > 0) queueDroppedNotice();
            progress.notify_all();
        }
        if (ownsDescriptor) ::close(descriptor);
        finished = true;
        progress.notify_all();
    }

    bool flush(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        const auto target = queuedCount;
        flushTarget = std::max(flushTarget, target);
        workQueued.notify_one();
        return waitWhileReaderReads(lock, timeout, [&] { return writtenCount >= target; });
    }

    // Waits up to `timeout` for `done`, but not past a stretch of
    // `readerStallLimit` in which the thread's write was held by a reader
    // that took nothing. A slow reader that keeps taking bytes is waited for.
    template <typename Done>
    bool waitWhileReaderReads(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds timeout, Done done) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        std::optional<Clock::time_point> stalledSince;
        while (!done()) {
            const auto now = Clock::now();
            if (now >= deadline) {
                return false;
            }
            if (writing && !takesBytesNow(descriptor)) {
                if (!stalledSince) {
                    stalledSince = now;
                } else if (now - *stalledSince >= readerStallLimit) {
                    return false;
                }
            } else {
                stalledSince.reset();
            }
            progress.wait_until(lock, std::min(deadline, now + readerCheckInterval), done);
        }
        return true;
    }

    void close(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex);
        closing = true;
        if (!started) {
            if (ownsDescriptor) ::close(descriptor);
            return;
        }
        workQueued.notify_one();
        waitWhileReaderReads(lock, wait, [this] { return finished; });
    }

    // In a forked child the thread does not exist, though the mutex (taken
    // before the fork) and the condition variables still count it. What is
    // queued is the parent's to write; the child starts afresh.
    void resetInForkedChild() {
        new (&workQueued) std::condition_variable();
        new (&progress) std::condition_variable();
        // Forked while the thread had it, it may be half changed: it is
        // left behind rather than touched.
        if (writing) {
            new (&buffer) std::string();
        }
        writing = false;
        pending.clear();
        pendingLines = 0;
        queuedBytes = 0;
        queuedLines = 0;
        writtenCount = queuedCount;
        flushTarget = 0;
        roomWaiters = 0;
        dropped = 0;
        started = false;
        mutex.unlock();
    }
};

DiagnosticsWriter::DiagnosticsWriter(int descriptor) : DiagnosticsWriter(descriptor, Limits{}, defaultClosingWait) {}

DiagnosticsWriter::DiagnosticsWriter(int descriptor, Limits limits, std::chrono::milliseconds closingWait)
    : DiagnosticsWriter(std::make_shared<State>(descriptor, true, limits), closingWait) {}

DiagnosticsWriter::DiagnosticsWriter(std::shared_ptr<State> state, std::chrono::milliseconds closingWait)
    : state_(std::move(state)), closingWait_(closingWait) {}

DiagnosticsWriter::~DiagnosticsWriter() {
    state_->close(closingWait_);
}

void DiagnosticsWriter::write(std::string_view text) {
    state_->write(text);
}

bool DiagnosticsWriter::flush(std::chrono::milliseconds timeout) {
    return state_->flush(timeout);
}

DiagnosticsWriter& DiagnosticsWriter::standardError() {
    // Never destroyed: a line logged while static objects are destroyed at
    // exit still finds its writer.
    static DiagnosticsWriter& writer = *[] {
        auto* created =
            new DiagnosticsWriter(std::make_shared<State>(STDERR_FILENO, false, Limits{}), defaultClosingWait);
        pthread_atfork([] { standardError().state_->mutex.lock(); }, [] { standardError().state_->mutex.unlock(); },
                       [] { standardError().state_->resetInForkedChild(); });
        std::atexit([] { static_cast<void>(standardError().flush(defaultClosingWait)); });
        return created;
    }();
    return writer;
}

void abortWithDiagnostic(std::string_view line) {
    auto& writer = DiagnosticsWriter::standardError();
    std::string text(line);
    text.push_back('\n');
    writer.write(text);
    static_cast<void>(writer.flush(DiagnosticsWriter::defaultClosingWait));
    std::abort();
}

}  // namespace lumenary::logging
