#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio/awaitable.hpp>

#include "http_client/http_client.hpp"
#include "http_client/http_header_fields.hpp"

namespace lumenary::http_client {

struct HTTPResponseHead {
    int status = 0;
    HTTPHeaderFields headers{};
};

class HTTPStreamingClient;

namespace detail {
struct StreamingTransfer;
struct StreamingCommands;
}

// One exchange of an HTTPStreamingClient after its response head arrived:
// the head, and the body handed over in pieces as they arrive. Owned by one
// coroutine. Dropping it before the body ended cancels the transfer.
class HTTPStreamingExchange {
public:
    HTTPStreamingExchange(std::weak_ptr<HTTPStreamingClient> client, std::shared_ptr<detail::StreamingTransfer> transfer,
                          HTTPResponseHead head);
    HTTPStreamingExchange(HTTPStreamingExchange&&) noexcept = default;
    HTTPStreamingExchange& operator=(HTTPStreamingExchange&&) noexcept;
    ~HTTPStreamingExchange();

    int status() const noexcept { return head_.status; }
    const HTTPHeaderFields& headers() const noexcept { return head_.headers; }

    // The next piece of the body, absent at its end. Throws HTTPClientFailure
    // when the transfer fails (idle limit, cut connection, cancelled); a
    // cancelled wait throws operation_aborted and cancels the transfer. A
    // piece that was already waiting comes after a turn of the executor, so
    // a stream that is always ahead of its reader never holds the executor.
    asio::awaitable<std::optional<std::string>> next();

    // Ends the transfer now; a waiting next() fails with "cancelled".
    void cancel();

private:
    std::weak_ptr<HTTPStreamingClient> client_;
    std::shared_ptr<detail::StreamingTransfer> transfer_;
    HTTPResponseHead head_;
};

// HTTP exchanges whose bodies are read as they arrive, several at once. One
// transfer thread drives them all; the awaiting coroutines resume on their
// own executors. No redirect is followed and no proxy reaches the loopback
// host, as with HTTPClient; limits are idle ones (zero: none) unless the
// request gives a total.
//
// A transfer pauses while more than `maximumBufferedBodyBytes` of its body
// wait for their reader, so a slow consumer holds the server back instead of
// filling memory.
//
// The transfer library is loaded by the first exchange. The mutex guards
// the commands handed to the transfer thread; everything else of a transfer
// belongs to that thread until the transfer ends.
class HTTPStreamingClient : public std::enable_shared_from_this<HTTPStreamingClient> {
public:
    static constexpr std::size_t defaultMaximumBufferedBodyBytes = 1024 * 1024;

    static std::shared_ptr<HTTPStreamingClient> create(
        std::size_t maximumBufferedBodyBytes = defaultMaximumBufferedBodyBytes);
    ~HTTPStreamingClient();
    HTTPStreamingClient(const HTTPStreamingClient&) = delete;
    HTTPStreamingClient& operator=(const HTTPStreamingClient&) = delete;

    // Sends `request` and resumes once the final response head has arrived.
    // Throws HTTPClientFailure when the exchange fails first; a cancelled
    // wait throws operation_aborted and cancels the transfer.
    asio::awaitable<HTTPStreamingExchange> start(HTTPClientRequest request);

    // Cancels every exchange, running or about to start, and refuses new
    // ones: they all fail with "cancelled". Safe from any thread. The first
    // call returns once the transfer thread has handed every end to its
    // waiter's executor, so that executor may be torn down right after
    // (called on the transfer thread itself, it cannot wait).
    void invalidate();

private:
    friend class HTTPStreamingExchange;

    explicit HTTPStreamingClient(std::size_t maximumBufferedBodyBytes);

    void submit(std::shared_ptr<detail::StreamingTransfer> transfer);
    void cancel(const std::shared_ptr<detail::StreamingTransfer>& transfer);
    void resume(const std::shared_ptr<detail::StreamingTransfer>& transfer);
    void wake();
    // The transfer thread: each turn takes the commands, then moves the
    // transfers on.
    void run();
    detail::StreamingCommands takeCommands();

    const std::size_t maximumBufferedBodyBytes_;

    std::mutex mutex_;
    bool invalidated_ = false;
    void* multi_ = nullptr;
    std::vector<std::shared_ptr<detail::StreamingTransfer>> toAdd_;
    std::vector<std::shared_ptr<detail::StreamingTransfer>> toCancel_;
    std::vector<std::shared_ptr<detail::StreamingTransfer>> toResume_;
    std::thread thread_;
    // Set when the last owner let go on the transfer thread itself, which
    // then finishes on its own; shared, since it outlives this object.
    std::shared_ptr<std::atomic<bool>> abandoned_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace lumenary::http_client
