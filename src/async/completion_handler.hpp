#pragma once

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

#include <asio/associated_executor.hpp>
#include <asio/dispatch.hpp>
#include <asio/execution/outstanding_work.hpp>
#include <asio/post.hpp>
#include <asio/prefer.hpp>

namespace lumenary::async {

// A stored, type-erased completion handler of signature
// void(std::exception_ptr, Args...), kept while an operation waits for
// another thread to supply its result.
//
// Move-only, because the handlers it holds (a suspended coroutine's, above
// all) are move-only. While it holds a handler it also holds outstanding work
// on the handler's executor, so the io_context keeps running for a consumer
// that waits on a value that another thread has still to supply.
//
// complete() always posts: the handler runs on its own associated executor
// (the waiting coroutine's strand), never inline on the completing thread.
// completeHere() runs it at once when that executor allows it on the
// completing thread (asio::dispatch: the thread runs the executor's
// io_context and the strand is free), and posts otherwise.
// Destroying a CompletionHandler that still holds a handler abandons the
// operation; for a coroutine that unwinds its stack on its executor.
template <typename... Args>
class CompletionHandler {
public:
    CompletionHandler() = default;

    template <typename Handler>
    requires(!std::is_same_v<std::decay_t<Handler>, CompletionHandler>) explicit CompletionHandler(Handler&& handler)
        : holder_(std::make_unique<Holder<std::decay_t<Handler>>>(std::forward<Handler>(handler))) {}

    CompletionHandler(CompletionHandler&&) noexcept = default;
    CompletionHandler& operator=(CompletionHandler&&) noexcept = default;
    CompletionHandler(const CompletionHandler&) = delete;
    CompletionHandler& operator=(const CompletionHandler&) = delete;
    ~CompletionHandler() = default;

    explicit operator bool() const noexcept { return holder_ != nullptr; }

    // Hands the outcome to the handler and leaves this object empty. Must hold
    // a handler.
    void complete(std::exception_ptr error, Args... args) {
        auto holder = std::move(holder_);
        holder->complete(std::move(error), std::move(args)...);
    }

    // As complete(), but without the trip through the scheduler when the
    // handler's executor may run it on this thread now.
    void completeHere(std::exception_ptr error, Args... args) {
        auto holder = std::move(holder_);
        holder->completeHere(std::move(error), std::move(args)...);
    }

private:
    class HolderBase {
    public:
        HolderBase() = default;
        HolderBase(const HolderBase&) = delete;
        HolderBase& operator=(const HolderBase&) = delete;
        virtual ~HolderBase() = default;
        virtual void complete(std::exception_ptr error, Args&&... args) = 0;
        virtual void completeHere(std::exception_ptr error, Args&&... args) = 0;
    };

    template <typename Handler>
    class Holder final : public HolderBase {
    public:
        explicit Holder(Handler handler)
            : handler_(std::move(handler)),
              work_(asio::prefer(asio::get_associated_executor(handler_), asio::execution::outstanding_work.tracked)) {}

        void complete(std::exception_ptr error, Args&&... args) override {
            // The posted function counts as work from here on, so the tracked
            // executor may go when this holder does.
            asio::post(work_, [handler = std::move(handler_), error = std::move(error),
                               ... values = std::move(args)]() mutable {
                std::move(handler)(std::move(error), std::move(values)...);
            });
        }

        void completeHere(std::exception_ptr error, Args&&... args) override {
            asio::dispatch(work_, [handler = std::move(handler_), error = std::move(error),
                                   ... values = std::move(args)]() mutable {
                std::move(handler)(std::move(error), std::move(values)...);
            });
        }

    private:
        using WorkExecutor = std::decay_t<decltype(asio::prefer(
            asio::get_associated_executor(std::declval<const Handler&>()), asio::execution::outstanding_work.tracked))>;

        Handler handler_;
        WorkExecutor work_;
    };

    std::unique_ptr<HolderBase> holder_;
};

}  // namespace lumenary::async
