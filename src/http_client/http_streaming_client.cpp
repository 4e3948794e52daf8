#include "http_client/http_streaming_client.hpp"

#include <atomic>
#include <charconv>
#include <map>
#include <utility>

#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "async/cancellation.hpp"
#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "http_client/http_client_library.hpp"
#include "http_client/http_transfer_setup.hpp"

namespace lumenary::http_client {

namespace detail {

struct StreamingTransfer {
    StreamingTransfer(HTTPClientRequest givenRequest, std::size_t maximumBuffered)
        : request(std::move(givenRequest)), maximumBufferedBodyBytes(maximumBuffered) {}

    const HTTPClientRequest request;
    const std::size_t maximumBufferedBodyBytes;
    async::OneShot<HTTPResponseHead> head;
    async::Queue<std::string> body{[](const std::string& piece) { return piece.size(); }};
    // Set by the transfer thread while the body waits for its reader; the
    // reader clears it when it asks the thread to carry on.
    std::atomic<bool> paused{false};
    std::atomic<bool> ended{false};

    // The transfer thread's alone from here on.
    CURL* handle = nullptr;
    HeaderList headers{nullptr, HeaderListDeleter{nullptr}};
    char detail[CURL_ERROR_SIZE] = {};
    IdleWatch idle;
    HTTPResponseHead pendingHead;
    bool headDelivered = false;
};

// What the other threads asked of the transfer thread since its last turn.
struct StreamingCommands {
    std::vector<std::shared_ptr<StreamingTransfer>> adds;
    std::vector<std::shared_ptr<StreamingTransfer>> cancels;
    std::vector<std::shared_ptr<StreamingTransfer>> resumes;
    bool stopping = false;
};

}  // namespace detail

namespace {

using detail::StreamingCommands;
using detail::StreamingTransfer;

HTTPClientError cancelledError(const HTTPClientRequest& request) {
    return {HTTPClientError::Kind::cancelled, "The exchange was cancelled (" + request.method + " " + request.url + ")"};
}

const HTTPClientLibrary& loadedLibrary() {
    const auto& loaded = HTTPClientLibrary::shared();
    if (const auto* error = std::get_if<HTTPClientError>(&loaded)) {
        throw HTTPClientFailure(*error);
    }
    return std::get<HTTPClientLibrary>(loaded);
}

int statusOf(std::string_view statusLine) {
    const auto space = statusLine.find(' ');
    int status = 0;
    if (space != std::string_view::npos) {
        std::from_chars(statusLine.data() + space + 1, statusLine.data() + statusLine.size(), status);
    }
    return status;
}

std::size_t streamHeaderLine(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<StreamingTransfer*>(context);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
        // Only the last head's fields belong to the response, after any
        // interim 1xx.
        transfer.pendingHead = HTTPResponseHead{statusOf(line), {}};
    } else if (line == "\r\n" || line == "\n") {
        if (transfer.pendingHead.status >= 200 && !transfer.headDelivered) {
            transfer.headDelivered = true;
            transfer.head.resume(std::move(transfer.pendingHead));
        }
    } else {
        transfer.pendingHead.headers.addLine(line);
    }
    return length;
}

std::size_t streamBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<StreamingTransfer*>(context);
    const std::size_t length = size * count;
    if (transfer.body.weight() >= transfer.maximumBufferedBodyBytes) {
        // Marked before the second look, so a reader that takes a piece in
        // between either sees the mark or leaves the room this look finds.
        transfer.paused = true;
        if (transfer.body.weight() >= transfer.maximumBufferedBodyBytes) {
            transfer.idle.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        transfer.paused = false;
    }
    transfer.body.push(std::string(data, length));
    return length;
}

// The transfers the transfer thread drives, by their handles. The
// transfer thread's alone.
class ActiveStreamingTransfers {
public:
    ActiveStreamingTransfers(const HTTPClientLibrary& library, CURLM* multi) : library_(library), multi_(multi) {}

    // Begins the transfers asked for, then ends or resumes those asked for
    // that are still running.
    void apply(const StreamingCommands& commands) {
        for (const auto& transfer : commands.adds) {
            begin(transfer);
        }
        for (const auto& transfer : commands.cancels) {
            if (isRunning(*transfer)) {
                end(transfer, cancelledError(transfer->request));
            }
        }
        for (const auto& transfer : commands.resumes) {
            if (isRunning(*transfer)) {
                transfer->idle.paused = false;
                library_.easyPause(transfer->handle, CURLPAUSE_CONT);
            }
        }
    }

    // Moves every transfer on and ends those that finished, then waits up
    // to a second for traffic or a wake-up.
    void performAndWait() {
        int running = 0;
        library_.multiPerform(multi_, &running);
        int left = 0;
        while (CURLMsg* message = library_.multiInfoRead(multi_, &left)) {
            if (message->msg == CURLMSG_DONE) {
                finished(message->easy_handle, message->data.result);
            }
        }
        library_.multiPoll(multi_, nullptr, 0, 1000, nullptr);
    }

    void endEvery() {
        while (!active_.empty()) {
            const auto transfer = active_.begin()->second;
            end(transfer, cancelledError(transfer->request));
        }
    }

private:
    bool isRunning(const StreamingTransfer& transfer) const {
        return transfer.handle != nullptr && active_.contains(transfer.handle);
    }

    void begin(const std::shared_ptr<StreamingTransfer>& transfer) {
        transfer->handle = library_.easyInit();
        if (transfer->handle == nullptr) {
            transfer->ended = true;
            transfer->head.fail(std::make_exception_ptr(HTTPClientFailure(
                HTTPClientError{HTTPClientError::Kind::failed, "Could not create an HTTP connection handle"})));
            return;
        }
        transfer->headers = HeaderList(nullptr, HeaderListDeleter{&library_});
        active_.emplace(transfer->handle, transfer);
        if (auto error = prepareTransfer(library_, transfer->handle, transfer->request, transfer->headers,
                                         transfer->detail, transfer->idle)) {
            end(transfer, std::move(*error));
            return;
        }
        library_.easySetopt(transfer->handle, CURLOPT_PRIVATE, transfer.get());
        library_.easySetopt(transfer->handle, CURLOPT_WRITEFUNCTION, &streamBody);
        library_.easySetopt(transfer->handle, CURLOPT_WRITEDATA, transfer.get());
        library_.easySetopt(transfer->handle, CURLOPT_HEADERFUNCTION, &streamHeaderLine);
        library_.easySetopt(transfer->handle, CURLOPT_HEADERDATA, transfer.get());
        library_.multiAddHandle(multi_, transfer->handle);
    }

    void finished(CURL* handle, CURLcode code) {
        const auto found = active_.find(handle);
        if (found == active_.end()) {
            return;
        }
        const auto transfer = found->second;
        if (code == CURLE_OK) {
            end(transfer, std::nullopt);
        } else {
            end(transfer, transferError(library_, code, transfer->detail, transfer->idle, std::nullopt,
                                        transfer->request));
        }
    }

    // Lets go of the transfer's handle and hands its end to its waiter: the
    // head's failure when no head came, else the body's end.
    void end(const std::shared_ptr<StreamingTransfer>& transfer, std::optional<HTTPClientError> error) {
        library_.multiRemoveHandle(multi_, transfer->handle);
        library_.easyCleanup(transfer->handle);
        active_.erase(transfer->handle);
        transfer->handle = nullptr;
        transfer->headers.reset();
        transfer->ended = true;
        if (!transfer->headDelivered) {
            transfer->head.fail(std::make_exception_ptr(HTTPClientFailure(
                error.value_or(HTTPClientError{HTTPClientError::Kind::failed, "The server sent no response head (" +
                                                                                  transfer->request.method + " " +
                                                                                  transfer->request.url + ")"}))));
        } else if (error) {
            transfer->body.finish(std::make_exception_ptr(HTTPClientFailure(std::move(*error))));
        } else {
            transfer->body.finish();
        }
    }

    const HTTPClientLibrary& library_;
    CURLM* const multi_;
    std::map<CURL*, std::shared_ptr<StreamingTransfer>> active_;
};

}  // namespace

HTTPStreamingExchange::HTTPStreamingExchange(std::weak_ptr<HTTPStreamingClient> client,
                                             std::shared_ptr<detail::StreamingTransfer> transfer,
                                             HTTPResponseHead head)
    : client_(std::move(client)), transfer_(std::move(transfer)), head_(std::move(head)) {}

HTTPStreamingExchange& HTTPStreamingExchange::operator=(HTTPStreamingExchange&& other) noexcept {
    if (this != &other) {
        cancel();
        client_ = std::move(other.client_);
        transfer_ = std::move(other.transfer_);
        head_ = std::move(other.head_);
    }
    return *this;
}

HTTPStreamingExchange::~HTTPStreamingExchange() {
    cancel();
}

void HTTPStreamingExchange::cancel() {
    if (!transfer_ || transfer_->ended) {
        return;
    }
    if (auto client = client_.lock()) {
        client->cancel(transfer_);
    }
}

asio::awaitable<std::optional<std::string>> HTTPStreamingExchange::next() {
    std::optional<std::string> piece;
    bool cancelled = false;
    // A piece already there is taken without a suspension: a server that
    // streams faster than its reader takes the pieces would otherwise hold
    // the reader's executor for as long as it streams.
    const bool wasWaiting = transfer_->body.size() > 0;
    try {
        piece = co_await transfer_->body.next();
    } catch (...) {
        cancelled = async::isCancellationError(std::current_exception());
        if (!cancelled) {
            throw;
        }
    }
    if (cancelled) {
        cancel();
        throw asio::system_error(asio::error::operation_aborted);
    }
    if (piece && transfer_->paused && transfer_->body.weight() < transfer_->maximumBufferedBodyBytes &&
        transfer_->paused.exchange(false)) {
        if (auto client = client_.lock()) {
            client->resume(transfer_);
        }
    }
    if (piece && wasWaiting) {
        co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
    }
    co_return piece;
}

std::shared_ptr<HTTPStreamingClient> HTTPStreamingClient::create(std::size_t maximumBufferedBodyBytes) {
    return std::shared_ptr<HTTPStreamingClient>(new HTTPStreamingClient(maximumBufferedBodyBytes));
}

HTTPStreamingClient::HTTPStreamingClient(std::size_t maximumBufferedBodyBytes)
    : maximumBufferedBodyBytes_(maximumBufferedBodyBytes) {}

HTTPStreamingClient::~HTTPStreamingClient() {
    invalidate();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            // A completion whose waiter went with its executor released the
            // last reference on the transfer thread: it cannot wait for
            // itself, so it ends its transfers and frees the handle alone,
            // touching nothing of this object again.
            abandoned_->store(true);
            thread_.detach();
            return;
        }
        thread_.join();
    }
    if (multi_ != nullptr) {
        std::get<HTTPClientLibrary>(HTTPClientLibrary::shared()).multiCleanup(static_cast<CURLM*>(multi_));
    }
}

asio::awaitable<HTTPStreamingExchange> HTTPStreamingClient::start(HTTPClientRequest request) {
    static_cast<void>(loadedLibrary());
    auto transfer = std::make_shared<StreamingTransfer>(std::move(request), maximumBufferedBodyBytes_);
    submit(transfer);
    std::optional<HTTPResponseHead> head;
    bool cancelled = false;
    try {
        head = co_await transfer->head.wait();
    } catch (...) {
        cancelled = async::isCancellationError(std::current_exception());
        if (!cancelled) {
            throw;
        }
    }
    if (cancelled) {
        cancel(transfer);
        throw asio::system_error(asio::error::operation_aborted);
    }
    co_return HTTPStreamingExchange(weak_from_this(), std::move(transfer), std::move(*head));
}

void HTTPStreamingClient::invalidate() {
    {
        std::lock_guard lock(mutex_);
        if (invalidated_) {
            return;
        }
        invalidated_ = true;
    }
    wake();
    // The transfer thread hands each transfer's end to its waiter's executor.
    // An owner that destroys that executor right after letting go of us must
    // not race a late hand-over into freed memory (typically the next
    // io_context built at the same address, whose work count it then drives
    // to zero). No thread starts once invalidated_ is set.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void HTTPStreamingClient::submit(std::shared_ptr<detail::StreamingTransfer> transfer) {
    const auto& library = loadedLibrary();
    {
        std::lock_guard lock(mutex_);
        if (!invalidated_) {
            if (multi_ == nullptr) {
                multi_ = library.multiInit();
            }
            if (multi_ != nullptr) {
                toAdd_.push_back(transfer);
                if (!thread_.joinable()) {
                    thread_ = std::thread(&HTTPStreamingClient::run, this);
                }
                transfer.reset();
            }
        }
    }
    if (transfer) {
        transfer->head.fail(std::make_exception_ptr(HTTPClientFailure(cancelledError(transfer->request))));
        return;
    }
    wake();
}

void HTTPStreamingClient::cancel(const std::shared_ptr<detail::StreamingTransfer>& transfer) {
    {
        std::lock_guard lock(mutex_);
        toCancel_.push_back(transfer);
    }
    wake();
}

void HTTPStreamingClient::resume(const std::shared_ptr<detail::StreamingTransfer>& transfer) {
    {
        std::lock_guard lock(mutex_);
        toResume_.push_back(transfer);
    }
    wake();
}

void HTTPStreamingClient::wake() {
    void* multi = nullptr;
    {
        std::lock_guard lock(mutex_);
        multi = multi_;
    }
    if (multi != nullptr) {
        std::get<HTTPClientLibrary>(HTTPClientLibrary::shared()).multiWakeup(static_cast<CURLM*>(multi));
    }
}

StreamingCommands HTTPStreamingClient::takeCommands() {
    StreamingCommands commands;
    std::lock_guard lock(mutex_);
    commands.adds.swap(toAdd_);
    commands.cancels.swap(toCancel_);
    commands.resumes.swap(toResume_);
    commands.stopping = invalidated_;
    return commands;
}

void HTTPStreamingClient::run() {
    const auto& library = std::get<HTTPClientLibrary>(HTTPClientLibrary::shared());
    auto* multi = static_cast<CURLM*>(multi_);
    const auto abandoned = abandoned_;
    ActiveStreamingTransfers active(library, multi);
    // Past any completion this object may be gone (see the destructor), so
    // each turn asks before it reads a member.
    for (;;) {
        if (abandoned->load()) {
            active.endEvery();
            library.multiCleanup(multi);
            return;
        }
        const auto commands = takeCommands();
        active.apply(commands);
        if (commands.stopping) {
            active.endEvery();
            if (abandoned->load()) {
                library.multiCleanup(multi);
            }
            return;
        }
        active.performAndWait();
    }
}

}  // namespace lumenary::http_client
