#include "app/http/http_connection.hpp"

#include <array>

#include <asio/buffer.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

namespace lumenary::http {

namespace {

constexpr std::size_t readSize = 64 * 1024;
// How long an answered connection waits for its peer to close first.
constexpr auto lingerTimeLimit = std::chrono::seconds(2);

}  // namespace

HTTPConnection::HTTPConnection(asio::ip::tcp::socket socket, std::uint64_t number, logging::Console console,
                               std::shared_ptr<BodyBudget> bodyBudget, EndHandler onEnd)
    : socket_(std::move(socket)),
      deadline_(socket_.get_executor()),
      number_(number),
      console_(std::move(console)),
      bodyBudget_(std::move(bodyBudget)),
      onEnd_(std::move(onEnd)) {}

HTTPConnection::~HTTPConnection() {
    // The socket closes with it; its slot must not stay taken.
    if (auto onEnd = std::exchange(onEnd_, nullptr)) {
        onEnd();
    }
}

std::string HTTPConnection::remoteDescription() const {
    asio::error_code error;
    const auto endpoint = socket_.remote_endpoint(error);
    if (error) {
        return "unknown";
    }
    const auto address = endpoint.address();
    const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

asio::awaitable<HTTPConnection::ReadOutcome> HTTPConnection::readRequest(HTTPRequestLimits limits,
                                                                         Clock::duration timeLimit) {
    // The timer's handler runs on this connection's strand, so it can only
    // find the coroutine suspended in a read, which it then ends.
    deadline_.expires_after(timeLimit);
    deadline_.async_wait([weak = weak_from_this()](asio::error_code error) {
        auto self = weak.lock();
        if (!error && self) {
            self->timedOut_ = true;
            self->socket_.cancel(error);
        }
    });

    HTTPRequestParser parser(limits);
    bool isBodyReserved = false;
    // Not zeroed: only what a read delivers is looked at.
    const std::unique_ptr<char[]> buffer(new char[readSize]);
    for (;;) {
        asio::error_code error;
        const std::size_t count = co_await socket_.async_read_some(asio::buffer(buffer.get(), readSize),
                                                                   asio::redirect_error(asio::use_awaitable, error));
        if (count > 0) {
            if (console_.isEnabled()) {
                console_.print("Received data: ", std::to_string(count), " bytes");
            }
            auto result = parser.feed(std::string_view(buffer.get(), count));
            const auto bodyBytes = parser.declaredBodyBytes();
            if (!isBodyReserved && bodyBytes && !std::holds_alternative<HTTPRequestError>(result)) {
                isBodyReserved = true;
                auto reservation = bodyBudget_->reserve(*bodyBytes);
                if (!reservation) {
                    result = HTTPRequestError{503, "Service Unavailable", "Too many request bodies are in flight"};
                } else {
                    bodyReservation_ = std::move(*reservation);
                }
            }
            if (!std::holds_alternative<HTTPRequestIncomplete>(result)) {
                deadline_.cancel();
                hasUnreadInput_ = parser.excessBytes() > 0 || std::holds_alternative<HTTPRequestError>(result);
                if (auto* request = std::get_if<HTTPRequest>(&result)) {
                    co_return std::move(*request);
                }
                co_return std::get<HTTPRequestError>(std::move(result));
            }
        }
        if (error == asio::error::eof) {
            console_.print("Connection completed");
        } else if (timedOut_) {
            console_.print("Connection timed out before its request was complete");
        } else if (error) {
            console_.print("Connection error: ", error.message());
        }
        if (error) {
            deadline_.cancel();
            co_return Ended{};
        }
    }
}

void HTTPConnection::watchForPeerClose(std::function<void()> onPeerClose) {
    isWatching_ = true;
    watchRead(std::move(onPeerClose));
}

void HTTPConnection::watchRead(std::function<void()> onPeerClose) {
    isWatchReadPending_ = true;
    socket_.async_read_some(
        asio::buffer(watchBuffer_),
        [self = shared_from_this(), onPeerClose = std::move(onPeerClose)](asio::error_code error,
                                                                           std::size_t count) mutable {
            self->isWatchReadPending_ = false;
            if (!self->isWatching_) {
                return;
            }
            if (count > 0) {
                self->hasUnreadInput_ = true;
            }
            if (!error) {
                self->watchRead(std::move(onPeerClose));
                return;
            }
            self->isWatching_ = false;
            self->hasPeerClosed_ = true;
            onPeerClose();
        });
}

void HTTPConnection::stopWatching() {
    // Its read may stay pending beside the answer's write; it ends with the
    // socket, or is cancelled before finish() reads.
    isWatching_ = false;
}

asio::awaitable<asio::error_code> HTTPConnection::write(std::string bytes) {
    asio::error_code error;
    co_await asio::async_write(socket_, asio::buffer(bytes), asio::redirect_error(asio::use_awaitable, error));
    co_return error;
}

asio::awaitable<void> HTTPConnection::finish() {
    asio::error_code error;
    const bool hasUnreadInput = hasUnreadInput_ || socket_.available(error) > 0;
    if (hasUnreadInput && !error) {
        socket_.shutdown(asio::ip::tcp::socket::shutdown_send, error);
        if (isWatchReadPending_) {
            asio::error_code ignored;
            socket_.cancel(ignored);
        }
    }
    if (hasUnreadInput && !error) {
        deadline_.expires_after(lingerTimeLimit);
        deadline_.async_wait([weak = weak_from_this()](asio::error_code waitError) {
            auto self = weak.lock();
            if (!waitError && self) {
                self->socket_.cancel(waitError);
            }
        });
        std::array<char, 4096> discarded;
        while (!error) {
            co_await socket_.async_read_some(asio::buffer(discarded), asio::redirect_error(asio::use_awaitable, error));
        }
        deadline_.cancel();
    }
    end();
}

void HTTPConnection::end() {
    asio::error_code ignored;
    socket_.close(ignored);
    deadline_.cancel();
    bodyReservation_.release();
    if (auto onEnd = std::exchange(onEnd_, nullptr)) {
        onEnd();
    }
}

void HTTPConnection::close() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->end(); });
}

}  // namespace lumenary::http
