#include "http_client/http_transfer_setup.hpp"

#include <sys/socket.h>

#include <algorithm>
#include <string>

namespace lumenary::http_client {

namespace {

// Connecting to the loopback host through a proxy from the environment
// would reach some other machine's idea of "127.0.0.1", or nothing at all.
constexpr const char* hostsNeverProxied = "127.0.0.1,localhost,::1";

// The connect phase of a transfer without an idle limit still needs one.
constexpr std::chrono::milliseconds connectLimitWithoutIdleLimit{60'000};

long milliseconds(std::chrono::milliseconds duration) {
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(duration.count(), 1));
}

// The library's own sockets are inherited by every child started while a
// transfer runs, which would keep the connection open behind our back.
curl_socket_t openCloseOnExecSocket(void*, curlsocktype, curl_sockaddr* address) {
    const int descriptor = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return descriptor < 0 ? CURL_SOCKET_BAD : descriptor;
}

}  // namespace

int watchIdleTime(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto& watch = *static_cast<IdleWatch*>(context);
    const auto now = IdleWatch::Clock::now();
    if (received != watch.lastReceived || sent != watch.lastSent || watch.paused) {
        watch.lastReceived = received;
        watch.lastSent = sent;
        watch.lastActivity = now;
        return 0;
    }
    if (watch.limit.count() > 0 && now - watch.lastActivity >= watch.limit) {
        watch.passed = true;
        return 1;  // aborts the transfer
    }
    return 0;
}

std::optional<HTTPClientError> prepareTransfer(const HTTPClientLibrary& library, CURL* handle,
                                               const HTTPClientRequest& request, HeaderList& headers, char* detail,
                                               IdleWatch& watch) {
    const auto appendHeader = [&](const std::string& line) {
        curl_slist* extended = library.slistAppend(headers.get(), line.c_str());
        if (extended == nullptr) {
            return false;
        }
        static_cast<void>(headers.release());
        headers.reset(extended);
        return true;
    };
    for (const auto& field : request.headers.fields()) {
        if (!appendHeader(field.name + ": " + field.value)) {
            return HTTPClientError{HTTPClientError::Kind::failed, "Out of memory while building the request headers"};
        }
    }
    // Servers that never answer "100 Continue" would stall every larger
    // body for a second.
    if (!appendHeader("Expect:")) {
        return HTTPClientError{HTTPClientError::Kind::failed, "Out of memory while building the request headers"};
    }

    watch.limit = request.timeouts.idle;
    const bool idleLimited = request.timeouts.idle.count() > 0;
    auto connectLimit = idleLimited ? request.timeouts.idle : connectLimitWithoutIdleLimit;
    if (request.timeouts.total) {
        connectLimit = std::min(connectLimit, *request.timeouts.total);
    }
    library.easySetopt(handle, CURLOPT_URL, request.url.c_str());
    library.easySetopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    library.easySetopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    library.easySetopt(handle, CURLOPT_NOSIGNAL, 1L);
    library.easySetopt(handle, CURLOPT_OPENSOCKETFUNCTION, &openCloseOnExecSocket);
    library.easySetopt(handle, CURLOPT_NOPROXY, hostsNeverProxied);
    library.easySetopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    library.easySetopt(handle, CURLOPT_ERRORBUFFER, detail);
    library.easySetopt(handle, CURLOPT_HTTPHEADER, headers.get());
    library.easySetopt(handle, CURLOPT_CONNECTTIMEOUT_MS, milliseconds(connectLimit));
    library.easySetopt(handle, CURLOPT_TIMEOUT_MS, request.timeouts.total ? milliseconds(*request.timeouts.total) : 0L);
    library.easySetopt(handle, CURLOPT_NOPROGRESS, 0L);
    library.easySetopt(handle, CURLOPT_XFERINFOFUNCTION, &watchIdleTime);
    library.easySetopt(handle, CURLOPT_XFERINFODATA, &watch);
    if (!idleLimited) {
        // A quiet stream may stay quiet for hours; the kernel's probes tell
        // a healthy one from a dead peer instead.
        library.easySetopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
        library.easySetopt(handle, CURLOPT_TCP_KEEPIDLE, 30L);
        library.easySetopt(handle, CURLOPT_TCP_KEEPINTVL, 10L);
    }

    if (request.method == "HEAD") {
        library.easySetopt(handle, CURLOPT_NOBODY, 1L);
    } else if (!request.body.empty() || request.method == "POST") {
        library.easySetopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        library.easySetopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    } else {
        library.easySetopt(handle, CURLOPT_HTTPGET, 1L);
    }
    if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
        library.easySetopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    return std::nullopt;
}

HTTPClientError transferError(const HTTPClientLibrary& library, CURLcode code, const char* detail,
                              const IdleWatch& watch, std::optional<std::size_t> bodyLimit,
                              const HTTPClientRequest& request) {
    std::string description = detail[0] != '\0' ? std::string(detail) : std::string(library.easyStrerror(code));
    switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST: return {HTTPClientError::Kind::couldNotConnect, std::move(description)};
        case CURLE_OPERATION_TIMEDOUT: return {HTTPClientError::Kind::timedOut, std::move(description)};
        case CURLE_ABORTED_BY_CALLBACK:
            if (watch.passed) {
                return {HTTPClientError::Kind::timedOut, "No data moved for " +
                                                             std::to_string(request.timeouts.idle.count()) + " ms (" +
                                                             request.method + " " + request.url + ")"};
            }
            break;
        case CURLE_WRITE_ERROR:
            if (bodyLimit) {
                return {HTTPClientError::Kind::responseTooLarge,
                        "The response body from " + request.url + " passed " + std::to_string(*bodyLimit) + " bytes"};
            }
            break;
        default: break;
    }
    return {HTTPClientError::Kind::failed, std::move(description)};
}

}  // namespace lumenary::http_client
