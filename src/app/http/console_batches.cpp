#include "app/http/console_batches.hpp"

#include <algorithm>

#include <asio/steady_timer.hpp>

namespace lumenary::http {

namespace {

// How long a thread gathers text before it hands it over: short for a
// reader, long for a writer that would be woken for every request.
constexpr auto gatheringTime = std::chrono::milliseconds(1);

}  // namespace

ConsoleBatches::ConsoleBatches(std::vector<asio::any_io_executor> executors, logging::Console console)
    : executors_(std::move(executors)), console_(std::move(console)), batches_(executors_.size()) {}

ConsoleBatches::~ConsoleBatches() {
    // No thread holds a batch any more: a flush that was dropped with its
    // thread's queue leaves its text here.
    for (auto& batch : batches_) {
        console_.printText(std::move(batch.text));
    }
}

void ConsoleBatches::handOver(const asio::any_io_executor& executor, std::string text) {
    if (text.empty()) {
        return;
    }
    const auto found = std::find(executors_.begin(), executors_.end(), executor);
    if (found == executors_.end()) {
        console_.printText(std::move(text));
        return;
    }
    const auto index = static_cast<std::size_t>(found - executors_.begin());
    auto& batch = batches_[index];
    std::lock_guard lock(batch.mutex);
    if (batch.text.empty()) {
        batch.text = std::move(text);
    } else {
        batch.text.append(text);
    }
    if (!batch.isScheduled) {
        batch.isScheduled = true;
        auto timer = std::make_shared<asio::steady_timer>(executor, gatheringTime);
        timer->async_wait([self = shared_from_this(), index, timer](asio::error_code) { self->flush(index); });
    }
}

void ConsoleBatches::flush(std::size_t index) {
    auto& batch = batches_[index];
    std::string text;
    {
        std::lock_guard lock(batch.mutex);
        batch.isScheduled = false;
        text = std::exchange(batch.text, {});
    }
    console_.printText(std::move(text));
}

void ConsoleBatches::flushAll() {
    for (auto& batch : batches_) {
        std::string text;
        {
            std::lock_guard lock(batch.mutex);
            text = std::exchange(batch.text, {});
        }
        console_.printText(std::move(text));
    }
}

}  // namespace lumenary::http
