#include "support/fake_http_endpoint.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace lumenary::testing {

namespace {

// Listens on `port`, or on an ephemeral port when it is 0, and stores the
// port it got.
int loopbackListener(std::uint16_t& port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) throw std::system_error(errno, std::generic_category(), "socket");
    // The connections of an endpoint that stood on the port before linger
    // in TIME_WAIT there.
    const int reuse = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof(address);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(listener, 64) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int failure = errno;
        ::close(listener);
        throw std::system_error(failure, std::generic_category(), "listen on the loopback host");
    }
    port = ntohs(address.sin_port);
    return listener;
}

char lowered(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The request head and body, or nothing when the peer closed early.
std::optional<ReceivedHTTPRequest> readRequest(int connection) {
    std::string bytes;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    while ((headEnd = bytes.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t count = ::recv(connection, buffer, sizeof(buffer), 0);
        if (count <= 0) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ReceivedHTTPRequest request;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart < headEnd) {
        const std::size_t lineEnd = bytes.find("\r\n", lineStart);
        const std::string line = bytes.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (first) {
            first = false;
            const auto space = line.find(' ');
            request.method = line.substr(0, space);
            request.path = line.substr(space + 1, line.find(' ', space + 1) - space - 1);
            continue;
        }
        const auto colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), lowered);
        request.headers[name] = trimmed(line.substr(colon + 1));
    }
    const std::size_t bodyLength = std::stoul(request.header("content-length").value_or("0"));
    request.body = bytes.substr(headEnd + 4);
    while (request.body.size() < bodyLength) {
        const ssize_t count = ::recv(connection, buffer, sizeof(buffer), 0);
        if (count <= 0) return std::nullopt;
        request.body.append(buffer, static_cast<std::size_t>(count));
    }
    return request;
}

bool sendAll(int connection, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

std::string chunk(const std::string& bytes) {
    char size[32];
    std::snprintf(size, sizeof(size), "%zx\r\n", bytes.size());
    return size + bytes + "\r\n";
}

}  // namespace

FakeHTTPEndpoint::FakeHTTPEndpoint(Responder responder, std::uint16_t port)
    : responder_(std::move(responder)), port_(port) {
    listener_ = loopbackListener(port_);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        ::close(listener_);
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    acceptThread_ = std::thread(&FakeHTTPEndpoint::acceptLoop, this);
}

FakeHTTPEndpoint::~FakeHTTPEndpoint() {
    stopListening();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        // Unblocks connections still reading a request.
        for (const int connection : openConnections_) ::shutdown(connection, SHUT_RDWR);
    }
    changed_.notify_all();
    for (auto& thread : connectionThreads_) thread.join();
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

std::string FakeHTTPEndpoint::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::size_t FakeHTTPEndpoint::openConnectionCount() const {
    std::lock_guard lock(mutex_);
    return openConnections_.size();
}

std::size_t FakeHTTPEndpoint::requestCount(const std::string& method) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(requests_.begin(), requests_.end(), [&](const auto& request) { return request.method == method; }));
}

std::vector<ReceivedHTTPRequest> FakeHTTPEndpoint::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool FakeHTTPEndpoint::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void FakeHTTPEndpoint::release() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

void FakeHTTPEndpoint::stopListening() {
    if (!acceptThread_.joinable()) return;
    const char wake = 0;
    static_cast<void>(::write(wakePipe_[1], &wake, 1));
    acceptThread_.join();
    ::close(listener_);
    listener_ = -1;
}

void FakeHTTPEndpoint::acceptLoop() {
    for (;;) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[1].revents != 0) return;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        std::lock_guard lock(mutex_);
        openConnections_.push_back(connection);
        connectionThreads_.emplace_back(&FakeHTTPEndpoint::serve, this, connection);
    }
}

void FakeHTTPEndpoint::serve(int connection) {
    if (auto request = readRequest(connection)) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(*request);
        }
        changed_.notify_all();
        const CannedHTTPResponse response = responder_(*request);
        bool answer = !response.hangUp;
        if (response.heldUntilReleased) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return released_ || stopping_; });
            answer = answer && released_;
        }
        if (answer && response.isStreamed()) {
            stream(connection, response);
        } else if (answer) {
            std::string bytes = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\n";
            for (const auto& [name, value] : response.headers) bytes += name + ": " + value + "\r\n";
            bytes += "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n" + response.body;
            sendAll(connection, bytes);
        }
    }
    std::lock_guard lock(mutex_);
    openConnections_.erase(std::find(openConnections_.begin(), openConnections_.end(), connection));
    ::close(connection);
}

bool FakeHTTPEndpoint::pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, delay, [this] { return stopping_; });
}

void FakeHTTPEndpoint::stream(int connection, const CannedHTTPResponse& response) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    if (!response.body.empty()) head += chunk(response.body);
    if (!sendAll(connection, head)) return;
    for (const auto& piece : response.pieces) {
        if (!pause(response.pieceDelay) || !sendAll(connection, chunk(piece))) return;
    }
    if (response.hangUpAfterPieces) return;
    if (!response.trickle.empty()) {
        while (pause(response.pieceDelay) && sendAll(connection, chunk(response.trickle))) {
        }
        return;
    }
    if (response.heldOpenAfterPieces) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return released_ || stopping_; });
        if (!released_) return;
        lock.unlock();
        for (const auto& piece : response.piecesAfterRelease) {
            if (!sendAll(connection, chunk(piece))) return;
        }
    }
    sendAll(connection, "0\r\n\r\n");
}

std::uint16_t unusedLoopbackPort() {
    std::uint16_t port = 0;
    ::close(loopbackListener(port));
    return port;
}

}  // namespace lumenary::testing
