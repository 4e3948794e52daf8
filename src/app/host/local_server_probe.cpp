#include "app/host/local_server_probe.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "app/host/local_endpoint.hpp"
#include "system/ignore_broken_pipe_signals.hpp"
#include "system/owned_descriptor.hpp"
#include "system/write_all.hpp"

namespace lumenary::app {

namespace {

using Clock = std::chrono::steady_clock;

// An answer's head longer than this is no endpoint of ours.
constexpr std::size_t maximumHeadBytes = 8 * 1024;

// The two limits of one probe: no byte may take longer than the idle limit,
// and the whole exchange no longer than the total one.
class ProbeDeadlines {
public:
    explicit ProbeDeadlines(http_client::HTTPClientTimeouts timeouts)
        : idle_(timeouts.idle), total_(timeouts.total ? Clock::now() + *timeouts.total : Clock::time_point::max()) {
        progressed();
    }

    void progressed() { nextByte_ = std::min(total_, Clock::now() + idle_); }

    // Waits until `descriptor` is ready for `events`; false once a limit has
    // passed or the wait itself fails.
    bool waitFor(int descriptor, short events) const {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextByte_ - Clock::now()).count();
            if (left <= 0) return false;
            pollfd watched{.fd = descriptor, .events = events, .revents = 0};
            const int ready = ::poll(&watched, 1, static_cast<int>(std::min<long long>(left, 60'000)));
            // An error or hang-up counts as ready: the next call reports it.
            if (ready > 0) return true;
            if (ready < 0 && errno != EINTR) return false;
        }
    }

private:
    std::chrono::milliseconds idle_;
    Clock::time_point total_;
    Clock::time_point nextByte_;
};

bool connectWithin(int descriptor, std::uint16_t port, const ProbeDeadlines& deadlines) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, std::string(loopbackHost).c_str(), &address.sin_addr) != 1) return false;
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;  // refused, at once
    if (!deadlines.waitFor(descriptor, POLLOUT)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// The answer's head up to and including its blank line; empty when the
// peer closes, sends too much or a limit passes first.
std::string receiveHeadWithin(int descriptor, ProbeDeadlines& deadlines) {
    std::string head;
    char buffer[1024];
    while (head.size() <= maximumHeadBytes) {
        if (const auto end = head.find("\r\n\r\n"); end != std::string::npos) {
            head.resize(end + 4);
            return head;
        }
        const ssize_t received = ::recv(descriptor, buffer, sizeof buffer, 0);
        if (received > 0) {
            head.append(buffer, static_cast<std::size_t>(received));
            deadlines.progressed();
        } else if (received < 0 && errno == EINTR) {
            continue;
        } else if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!deadlines.waitFor(descriptor, POLLIN)) return {};
        } else {
            return {};
        }
    }
    return {};
}

// "HTTP/1.1 204 No Content" gives 204; anything else that is no status
// line gives 0.
int statusOf(std::string_view head) {
    if (!head.starts_with("HTTP/1.") || head.size() < 13 || head[8] != ' ') return 0;
    const auto code = head.substr(9, 3);
    if (!std::ranges::all_of(code, [](char digit) { return digit >= '0' && digit <= '9'; })) return 0;
    if (head[12] != ' ' && head[12] != '\r') return 0;
    return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

}  // namespace

bool answersAsServing(std::uint16_t port, http_client::HTTPClientTimeouts timeouts) {
    ProbeDeadlines deadlines(timeouts);
    const system::OwnedDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.get() < 0 || !connectWithin(socket.get(), port, deadlines)) return false;
    deadlines.progressed();
    const std::string request = "OPTIONS /mcp HTTP/1.1\r\nHost: " + std::string(loopbackHost) + ":" +
                                std::to_string(port) + "\r\nConnection: close\r\n\r\n";
    // A peer that resets the connection must fail the write, not end the
    // process. The write needs no deadline of its own: a fresh connection's
    // send buffer takes so short a request whole, so it never waits.
    system::ignoreBrokenPipeSignals();
    if (system::writeAll(socket.get(), request) != 0) return false;
    deadlines.progressed();
    const int status = statusOf(receiveHeadWithin(socket.get(), deadlines));
    return status == 200 || status == 204;
}

std::string explainPortInUse(std::uint16_t port, std::string failure) {
    if (!answersAsServing(port, probeTimeouts)) {
        return failure;
    }
    return "Port " + std::to_string(port) +
           " is in use by a running Lumenary; quit that one, or give this one another port, to serve from here";
}

bool probeLocalServer(const platform::DefaultsStore& defaults) {
    return answersAsServing(configuredServerPort(defaults), probeTimeouts);
}

}  // namespace lumenary::app
