#include "app/http/http_connection.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

#include <asio/buffer.hpp>
#include <asio/detail/socket_option.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include "async/quiet_timer.hpp"

namespace lumenary::http {

namespace {

using Cork = asio::detail::socket_option::boolean<IPPROTO_TCP, TCP_CORK>;
// Well below a segment on the loopback interface (about 64 KiB).
constexpr std::size_t uncorkedAnswerBytes = 16 * 1024;

// A request that fills the small buffer in one read is large: it is read in
// pieces this big from then on.
constexpr std::size_t largeReadSize = 64 * 1024;
// A body is held three times over while its message is read: as text, in
// the JSON reader's buffer for its longest string (a large body is mostly
// one), and as the value read from it, which lives beside the text until the
// session's server has handled its message.
constexpr std::size_t heldCopiesOfABody = 3;
// How long an answered connection waits for its peer to close first.
constexpr auto lingerTimeLimit = std::chrono::seconds(2);

}  // namespace

HTTPConnection::HTTPConnection(asio::ip::tcp::socket socket, asio::ip::tcp::endpoint peer, std::uint64_t number,
                               logging::Console console, std::shared_ptr<BodyBudget> bodyBudget, EndHandler onEnd)
    : socket_(std::move(socket)),
      peer_(std::move(peer)),
      deadline_(socket_.get_executor()),
      number_(number),
      console_(std::move(console)),
      bodyBudget_(std::move(bodyBudget)),
      onEnd_(std::move(onEnd)),
      executor_(socket_.get_executor()) {}

HTTPConnection::~HTTPConnection() {
    // The socket closes with it; its slot must not stay taken.
    if (auto onEnd = std::exchange(onEnd_, nullptr)) {
        onEnd();
    }
}

std::string HTTPConnection::remoteDescription() const {
    const auto& endpoint = peer_;
    const auto address = endpoint.address();
    if (address.is_v6()) {
        return "[" + address.to_string() + "]:" + std::to_string(endpoint.port());
    }
    // Written out here: the library's own formatting goes through printf,
    // once for every connection.
    char text[sizeof "255.255.255.255:65535"];
    char* end = text;
    for (const auto byte : address.to_v4().to_bytes()) {
        if (end != text) *end++ = '.';
        end = std::to_chars(end, std::end(text), byte).ptr;
    }
    *end++ = ':';
    end = std::to_chars(end, std::end(text), endpoint.port()).ptr;
    return std::string(text, end);
}

asio::awaitable<HTTPConnection::ReadOutcome> HTTPConnection::readRequest(HTTPRequestLimits limits,
                                                                         Clock::duration timeLimit) {
    HTTPRequestParser parser(limits);
    // A request has often come whole by the time its connection is taken:
    // the first read is tried at once, and the deadline, a system call to arm
    // and one to quiet, is armed only when more is to come.
    asio::error_code error;
    socket_.non_blocking(true, error);
    bool isFirstRead = !error;
    for (;;) {
        const auto buffer = readBuffer();
        std::size_t count = 0;
        if (isFirstRead) {
            isFirstRead = false;
            count = socket_.read_some(buffer, error);
            if (error == asio::error::would_block) {
                error = {};
            }
            if (count == 0 && !error) {
                armReadDeadline(timeLimit);
                continue;
            }
        } else {
            if (!isReadingRequest_) {
                armReadDeadline(timeLimit);
            }
            count = co_await socket_.async_read_some(buffer, asio::redirect_error(asio::use_awaitable, error));
        }
        if (count > 0) {
            if (console_.isEnabled()) {
                console_.print("Received data: ", std::to_string(count), " bytes");
            }
            if (count == buffer.size() && !largeBuffer_) {
                // Not zeroed: only what a read delivers is looked at.
                largeBuffer_.reset(new char[largeReadSize]);
            }
            auto result = parser.feed(std::string_view(static_cast<const char*>(buffer.data()), count));
            const auto bodyBytes = parser.declaredBodyBytes();
            if (bodyBytes && !std::holds_alternative<HTTPRequestError>(result) && !reserveBody(*bodyBytes)) {
                result = HTTPRequestError{503, "Service Unavailable", "Too many request bodies are in flight"};
            }
            if (!std::holds_alternative<HTTPRequestIncomplete>(result)) {
                disarmReadDeadline();
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
            disarmReadDeadline();
            co_return Ended{};
        }
    }
}

void HTTPConnection::armReadDeadline(Clock::duration timeLimit) {
    // The timer's handler runs on this connection's strand, so it can only
    // find the coroutine suspended in a read, which it then ends.
    deadline_.expires_after(timeLimit);
    hasUsedDeadline_ = true;
    isReadingRequest_ = true;
    deadline_.async_wait([weak = weak_from_this()](asio::error_code error) {
        auto self = weak.lock();
        // Expired just as the request came complete, the connection may
        // have moved on already.
        if (!error && self && self->isReadingRequest_) {
            self->timedOut_ = true;
            self->socket_.cancel(error);
        }
    });
}

void HTTPConnection::disarmReadDeadline() {
    if (std::exchange(isReadingRequest_, false)) {
        deadline_.cancel();
    }
}

bool HTTPConnection::reserveBody(std::size_t bodyBytes) {
    // Bodies are bounded far below where this could overflow.
    const std::size_t heldBytes = bodyBytes * heldCopiesOfABody;
    if (heldBytes <= bodyReservation_.bytes() && bodyReservation_.bytes() > 0) {
        return true;
    }
    auto more = bodyBudget_->reserve(heldBytes - std::min(heldBytes, bodyReservation_.bytes()));
    if (!more) {
        return false;
    }
    bodyReservation_.merge(std::move(*more));
    return true;
}

void HTTPConnection::watchForPeerClose(std::function<void()> onPeerClose) {
    isWatching_ = true;
    watchRead(std::move(onPeerClose));
}

asio::mutable_buffer HTTPConnection::readBuffer() {
    if (largeBuffer_) {
        return asio::buffer(largeBuffer_.get(), largeReadSize);
    }
    return asio::buffer(smallBuffer_);
}

void HTTPConnection::watchRead(std::function<void()> onPeerClose) {
    isWatchReadPending_ = true;
    // A wait costs no system call until something comes; only then is it
    // read, to tell more bytes from the end.
    socket_.async_wait(asio::socket_base::wait_read, [self = shared_from_this(), onPeerClose = std::move(onPeerClose)](
                                                         asio::error_code error) mutable {
        self->isWatchReadPending_ = false;
        if (!self->isWatching_) {
            return;
        }
        std::size_t count = 0;
        if (!error) {
            // Never blocks: a readiness that another read took already
            // must not hold the thread.
            self->socket_.non_blocking(true, error);
        }
        if (!error) {
            count = self->socket_.read_some(self->readBuffer(), error);
        }
        if (count > 0) {
            self->hasUnreadInput_ = true;
        }
        if (!error || error == asio::error::would_block) {
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

asio::awaitable<asio::error_code> HTTPConnection::writeAnswer(std::string bytes) {
    // A client that reads the answer before the end of the stream arrives
    // closes first, and the closing side keeps the port in TIME_WAIT: under
    // load the client's every new connection then searches longer for a free
    // port, costing it more than the request itself. Held back, the answer's
    // tail leaves in one segment with the end of the stream.
    asio::error_code error;
    // An answer longer than a segment leaves in several, and the peer's
    // acknowledgement of the first lets a short tail held by the flag below
    // go alone; corked, the tail waits all the same. Short answers, nearly
    // all of them, spare the call.
    if (bytes.size() > uncorkedAnswerBytes) {
        asio::error_code ignored;
        socket_.set_option(Cork(true), ignored);
    }
    auto rest = asio::buffer(bytes);
    while (rest.size() > 0 && !error) {
        rest += co_await socket_.async_send(rest, MSG_MORE, asio::redirect_error(asio::use_awaitable, error));
    }
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
        hasUsedDeadline_ = true;
        deadline_.async_wait([weak = weak_from_this()](asio::error_code waitError) {
            auto self = weak.lock();
            if (!waitError && self) {
                self->socket_.cancel(waitError);
            }
        });
        while (!error) {
            co_await socket_.async_read_some(readBuffer(), asio::redirect_error(asio::use_awaitable, error));
        }
        deadline_.cancel();
    }
    end();
}

void HTTPConnection::end() {
    asio::error_code ignored;
    socket_.close(ignored);
    flushConsole();
    if (hasUsedDeadline_) {
        async::cancelQuietly(deadline_);
    }
    bodyReservation_.release();
    if (auto onEnd = std::exchange(onEnd_, nullptr)) {
        onEnd();
    }
}

void HTTPConnection::flushConsole() {
    console_.flush();
}

void HTTPConnection::close() {
    auto target = executor();
    asio::post(target, [self = shared_from_this(), target] {
        // Handed to another thread before this ran: its socket is used
        // there now, so it is closed there.
        if (self->executor() != target) {
            self->close();
            return;
        }
        self->end();
    });
}

asio::any_io_executor HTTPConnection::executor() {
    std::lock_guard lock(executorMutex_);
    return executor_;
}

bool HTTPConnection::moveTo(asio::any_io_executor executor) {
    asio::error_code error;
    const auto descriptor = socket_.release(error);
    asio::ip::tcp::socket moved(executor);
    if (!error) {
        moved.assign(peer_.protocol(), descriptor, error);
        if (error) {
            ::close(descriptor);
        }
    }
    if (error) {
        console_.print("Connection error: ", error.message());
        end();
        return false;
    }
    socket_ = std::move(moved);
    deadline_ = asio::steady_timer(executor);
    std::lock_guard lock(executorMutex_);
    executor_ = std::move(executor);
    return true;
}

}  // namespace lumenary::http
