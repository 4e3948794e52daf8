#include "async/task.hpp"

#include <atomic>
#include <mutex>
#include <vector>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "async/one_shot.hpp"

namespace lumenary::async {

struct Task::State {
    explicit State(asio::any_io_executor taskExecutor) : executor(std::move(taskExecutor)) {}

    bool hasFinished() {
        std::lock_guard lock(mutex);
        return finished;
    }

    void finish(std::exception_ptr escaped) {
        std::vector<OneShot<void>> waiting;
        {
            std::lock_guard lock(mutex);
            finished = true;
            failure = std::move(escaped);
            waiting.swap(joiners);
        }
        for (const auto& joiner : waiting) {
            joiner.resume();
        }
    }

    asio::any_io_executor executor;
    asio::cancellation_signal signal;  // emitted only on `executor`
    std::atomic<bool> cancelled{false};

    std::mutex mutex;
    bool finished = false;
    std::exception_ptr failure;
    std::vector<OneShot<void>> joiners;
};

namespace {

asio::awaitable<void> runCooperatively(asio::awaitable<void> body) {
    // asio would otherwise throw from every co_await once cancelled, leaving a
    // cancelled body no way to ask isCancelled() or to await its clean-up.
    co_await asio::this_coro::throw_if_cancelled(false);
    // co_spawn starts inline when called on the executor; a hop keeps the body
    // out of spawn() and lets the caller hold the handle before it runs.
    co_await asio::post(asio::use_awaitable);
    co_await std::move(body);
}

}  // namespace

Task::Task(std::shared_ptr<State> state) : state_(std::move(state)) {}

Task Task::spawn(asio::any_io_executor executor, asio::awaitable<void> body) {
    auto state = std::make_shared<State>(executor);
    // The completion runs on the task's executor, the same one cancel() emits
    // on, so an emission never races the end of the task.
    asio::co_spawn(std::move(executor), runCooperatively(std::move(body)),
                   asio::bind_cancellation_slot(state->signal.slot(),
                                                [state](std::exception_ptr escaped) { state->finish(escaped); }));
    return Task(std::move(state));
}

void Task::cancel() const {
    if (state_->cancelled.exchange(true)) {
        return;
    }
    // Runs inline when the caller is already on the task's executor, so a task
    // cancelled from its own strand sees it before its next step.
    asio::dispatch(state_->executor, [state = state_] {
        if (!state->hasFinished()) {
            state->signal.emit(asio::cancellation_type::terminal);
        }
    });
}

bool Task::isCancelled() const {
    return state_->cancelled.load();
}

bool Task::isFinished() const {
    return state_->hasFinished();
}

std::exception_ptr Task::error() const {
    std::lock_guard lock(state_->mutex);
    return state_->failure;
}

asio::awaitable<void> Task::join() const {
    return joinState(state_);
}

asio::awaitable<void> Task::joinState(std::shared_ptr<State> state) {
    OneShot<void> ended;
    {
        std::lock_guard lock(state->mutex);
        if (state->finished) {
            co_return;
        }
        state->joiners.push_back(ended);
    }
    co_await ended.wait();
}

}  // namespace lumenary::async
