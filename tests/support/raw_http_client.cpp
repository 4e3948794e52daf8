#include "support/raw_http_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace lumenary::testing {

RawHTTPConnection::RawHTTPConnection(std::uint16_t port) {
    descriptor_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor_ < 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(descriptor_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

RawHTTPConnection::~RawHTTPConnection() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool RawHTTPConnection::send(std::string_view bytes) {
    while (!bytes.empty() && descriptor_ >= 0) {
        const auto written = ::send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return bytes.empty();
}

bool RawHTTPConnection::fill(Clock::time_point deadline) {
    if (closed_ || descriptor_ < 0) {
        return false;
    }
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (remaining <= 0) {
        return false;
    }
    pollfd entry{descriptor_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(remaining)) <= 0) {
        return false;
    }
    char buffer[65536];
    const auto count = ::recv(descriptor_, buffer, sizeof buffer, 0);
    if (count <= 0) {
        closed_ = true;
        return false;
    }
    received_.append(buffer, static_cast<std::size_t>(count));
    return true;
}

std::optional<std::string> RawHTTPConnection::readUntil(std::string_view marker, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (received_.find(marker) == std::string::npos) {
        if (!fill(deadline) && (closed_ || Clock::now() >= deadline)) {
            return std::nullopt;
        }
    }
    return received_;
}

std::string RawHTTPConnection::readAll(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!closed_ && Clock::now() < deadline) {
        fill(deadline);
    }
    return received_;
}

std::string httpExchange(std::uint16_t port, std::string_view request) {
    RawHTTPConnection connection(port);
    if (!connection.isOpen() || !connection.send(request)) {
        return {};
    }
    return connection.readAll();
}

std::string postRequest(std::string_view path, std::string_view body, std::string_view extraHeaders) {
    return "POST " + std::string(path) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           "Accept: application/json, text/event-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + std::string(extraHeaders) + "\r\n" + std::string(body);
}

std::optional<std::string> headerValue(std::string_view response, std::string_view name) {
    const auto headEnd = response.find("\r\n\r\n");
    std::string_view head = response.substr(0, headEnd);
    std::size_t start = head.find("\r\n");
    while (start != std::string_view::npos) {
        start += 2;
        const auto end = head.find("\r\n", start);
        const auto line = head.substr(start, end == std::string_view::npos ? head.size() - start : end - start);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos && colon == name.size() &&
            std::equal(name.begin(), name.end(), line.begin(), [](char left, char right) {
                return std::tolower(static_cast<unsigned char>(left)) == std::tolower(static_cast<unsigned char>(right));
            })) {
            auto value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') {
                value.remove_prefix(1);
            }
            return std::string(value);
        }
        start = end;
    }
    return std::nullopt;
}

int statusCode(std::string_view response) {
    if (!response.starts_with("HTTP/1.1 ") || response.size() < 12) {
        return 0;
    }
    return std::stoi(std::string(response.substr(9, 3)));
}

std::string responseBody(std::string_view response) {
    const auto headEnd = response.find("\r\n\r\n");
    return headEnd == std::string_view::npos ? std::string() : std::string(response.substr(headEnd + 4));
}

}  // namespace lumenary::testing
