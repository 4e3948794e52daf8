#include "support/raw_connection.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lumenary::testing {

RawConnection::RawConnection(std::uint16_t port, const std::string& address, int receiveBuffer) {
    const bool isV6 = address.find(':') != std::string::npos;
    descriptor_ = ::socket(isV6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor_ < 0) return;
    if (receiveBuffer > 0) {
        ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    int result = -1;
    if (isV6) {
        sockaddr_in6 target{};
        target.sin6_family = AF_INET6;
        target.sin6_port = htons(port);
        ::inet_pton(AF_INET6, address.c_str(), &target.sin6_addr);
        result = ::connect(descriptor_, reinterpret_cast<sockaddr*>(&target), sizeof target);
    } else {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &target.sin_addr);
        result = ::connect(descriptor_, reinterpret_cast<sockaddr*>(&target), sizeof target);
    }
    if (result != 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

RawConnection::~RawConnection() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

void RawConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

void RawConnection::shutdownWrite() {
    ::shutdown(descriptor_, SHUT_WR);
}

bool RawConnection::fill(std::chrono::steady_clock::time_point until) {
    if (ended_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{descriptor_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[65536];
    const ssize_t count = ::recv(descriptor_, buffer, sizeof buffer, 0);
    if (count <= 0) {
        ended_ = true;
        return false;
    }
    received_.append(buffer, static_cast<std::size_t>(count));
    return true;
}

std::string RawConnection::readToEnd(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (fill(until)) {
    }
    return std::exchange(received_, std::string());
}

std::optional<std::string> RawConnection::readUntil(std::string_view text, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (received_.find(text) == std::string::npos) {
        if (!fill(until)) return std::nullopt;
    }
    const std::size_t end = received_.find(text) + text.size();
    std::string taken = received_.substr(0, end);
    received_.erase(0, end);
    return taken;
}

bool RawConnection::waitForClose(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (fill(until)) {
    }
    return ended_;
}

std::optional<std::string> Response::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (key == name) return value;
    }
    return std::nullopt;
}

std::vector<std::string> Response::headerNames() const {
    std::vector<std::string> names;
    for (const auto& [key, value] : headers) names.push_back(key);
    return names;
}

Response parseResponse(const std::string& bytes) {
    Response response;
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos) return response;
    std::size_t lineStart = 0;
    while (lineStart < headEnd) {
        const std::size_t lineEnd = bytes.find("\r\n", lineStart);
        const std::string line = bytes.substr(lineStart, lineEnd - lineStart);
        if (response.statusLine.empty()) {
            response.statusLine = line;
            response.status = std::atoi(line.c_str() + line.find(' ') + 1);
        } else {
            const std::size_t colon = line.find(": ");
            response.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        }
        lineStart = lineEnd + 2;
    }
    response.body = bytes.substr(headEnd + 4);
    return response;
}

std::string postRequest(std::string_view body, std::optional<std::string> sessionID, std::string path) {
    std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
    if (sessionID) request += "Mcp-Session-Id: " + *sessionID + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    request += body;
    return request;
}

std::string exchange(std::uint16_t port, std::string_view request) {
    RawConnection connection(port);
    if (!connection.isConnected()) return {};
    connection.send(request);
    return connection.readToEnd();
}

}  // namespace lumenary::testing
