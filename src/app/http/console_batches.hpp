#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "logging/console.hpp"

namespace lumenary::http {

// The console text of the connections each endpoint thread serves, handed to
// the console once that thread has run what it had ready: under load one
// hand-over, and at most one wake-up of the console's writer, serves many
// requests, while an idle thread hands its text over at once.
//
// Each thread's batch is filled on that thread only; its mutex, which no
// other thread contends for but flushAll(), lets any thread hand over what
// it holds. What is still gathered when the batches go is handed over then.
class ConsoleBatches : public std::enable_shared_from_this<ConsoleBatches> {
public:
    // Each executor is run by one thread.
    ConsoleBatches(std::vector<asio::any_io_executor> executors, logging::Console console);
    ~ConsoleBatches();

    ConsoleBatches(const ConsoleBatches&) = delete;
    ConsoleBatches& operator=(const ConsoleBatches&) = delete;

    // Takes whole lines gathered on `executor`'s thread; call there.
    void handOver(const asio::any_io_executor& executor, std::string text);
    // Hands over what every thread has gathered, from any thread.
    void flushAll();

private:
    // Apart, as each belongs to another thread.
    struct alignas(64) Batch {
        std::mutex mutex;
        std::string text;
        bool isScheduled = false;
    };

    void flush(std::size_t index);

    const std::vector<asio::any_io_executor> executors_;
    const logging::Console console_;
    std::vector<Batch> batches_;
};

}  // namespace lumenary::http
