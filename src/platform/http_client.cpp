#include "platform/http_client.hpp"

#include <algorithm>
#include <memory>

#include "platform/http_client_library.hpp"

namespace lumenary::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Connecting to the loopback host through a proxy from the environment
// would reach some other machine's idea of "127.0.0.1", or nothing at all.
constexpr const char* hostsNeverProxied = "127.0.0.1,localhost,::1";

CURL* handleOf(void* handle) {
    return static_cast<CURL*>(handle);
}

// Clears the options on leaving an exchange: they point at the exchange's
// own buffers, which must not outlive it inside the handle.
struct ResetOptionsOnExit {
    const HTTPClientLibrary& library;
    CURL* handle;
    ~ResetOptionsOnExit() { library.easyReset(handle); }
};

struct HeaderListDeleter {
    const HTTPClientLibrary* library;
    void operator()(curl_slist* list) const noexcept { library->slistFreeAll(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// What the callbacks of one exchange collect.
struct Exchange {
    HTTPHeaderFields headers;
    std::string body;
    std::size_t maximumBodyBytes = 0;
    bool bodyTooLarge = false;

    std::chrono::milliseconds idleLimit{0};
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastReceived = 0;
    curl_off_t lastSent = 0;
    bool idleLimitPassed = false;
};

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& exchange = *static_cast<Exchange*>(context);
    const std::size_t length = size * count;
    if (exchange.body.size() + length > exchange.maximumBodyBytes) {
        exchange.bodyTooLarge = true;
        return 0;  // ends the transfer with a write error
    }
    exchange.body.append(data, length);
    return length;
}

std::string_view trimmed(std::string_view text) {
    const auto isSpace = [](char character) {
        return character == ' ' || character == '\t' || character == '\r' || character == '\n';
    };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::size_t receiveHeaderLine(char* data, std::size_t size, std::size_t count, void* context) {
    auto& exchange = *static_cast<Exchange*>(context);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
        // A new response head, for example the final one after an interim
        // 1xx: only the last head's fields belong to the response.
        exchange.headers.clear();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        exchange.headers.add(std::string(trimmed(line.substr(0, colon))), std::string(trimmed(line.substr(colon + 1))));
    }
    return length;
}

int watchIdleTime(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto& exchange = *static_cast<Exchange*>(context);
    const auto now = Clock::now();
    if (received != exchange.lastReceived || sent != exchange.lastSent) {
        exchange.lastReceived = received;
        exchange.lastSent = sent;
        exchange.lastActivity = now;
        return 0;
    }
    if (now - exchange.lastActivity >= exchange.idleLimit) {
        exchange.idleLimitPassed = true;
        return 1;  // aborts the transfer
    }
    return 0;
}

long milliseconds(std::chrono::milliseconds duration) {
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(duration.count(), 1));
}

HTTPClientError errorOf(const HTTPClientLibrary& library, CURLcode code, const Exchange& exchange, const char* detail,
                        const HTTPClientRequest& request) {
    std::string description = detail[0] != '\0' ? std::string(detail) : std::string(library.easyStrerror(code));
    switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST: return {HTTPClientError::Kind::couldNotConnect, std::move(description)};
        case CURLE_OPERATION_TIMEDOUT: return {HTTPClientError::Kind::timedOut, std::move(description)};
        case CURLE_ABORTED_BY_CALLBACK:
            if (exchange.idleLimitPassed) {
                return {HTTPClientError::Kind::timedOut, "No data moved for " +
                                                             std::to_string(request.timeouts.idle.count()) + " ms (" +
                                                             request.method + " " + request.url + ")"};
            }
            break;
        case CURLE_WRITE_ERROR:
            if (exchange.bodyTooLarge) {
                return {HTTPClientError::Kind::responseTooLarge, "The response body from " + request.url + " passed " +
                                                                     std::to_string(exchange.maximumBodyBytes) +
                                                                     " bytes"};
            }
            break;
        default: break;
    }
    return {HTTPClientError::Kind::failed, std::move(description)};
}

}  // namespace

HTTPClient::HTTPClient(std::size_t maximumResponseBytes)
    : handle_(nullptr), maximumResponseBytes_(maximumResponseBytes) {}

HTTPClient::~HTTPClient() {
    if (handle_ != nullptr) {
        // A handle exists only once the library has loaded.
        std::get<HTTPClientLibrary>(HTTPClientLibrary::shared()).easyCleanup(handleOf(handle_));
    }
}

HTTPClientResult HTTPClient::send(const HTTPClientRequest& request) {
    const auto& loaded = HTTPClientLibrary::shared();
    if (const auto* error = std::get_if<HTTPClientError>(&loaded)) {
        return *error;
    }
    const auto& library = std::get<HTTPClientLibrary>(loaded);
    if (handle_ == nullptr) {
        handle_ = library.easyInit();
    }
    CURL* handle = handleOf(handle_);
    if (handle == nullptr) {
        return HTTPClientError{HTTPClientError::Kind::failed, "Could not create an HTTP connection handle"};
    }
    Exchange exchange;
    exchange.maximumBodyBytes = maximumResponseBytes_;
    exchange.idleLimit = request.timeouts.idle;
    char detail[CURL_ERROR_SIZE] = {};

    HeaderList headers(nullptr, HeaderListDeleter{&library});
    // Resetting keeps the open connection for the next exchange.
    const ResetOptionsOnExit resetOptions{library, handle};
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

    const auto connectLimit =
        request.timeouts.total ? std::min(request.timeouts.idle, *request.timeouts.total) : request.timeouts.idle;
    library.easySetopt(handle, CURLOPT_URL, request.url.c_str());
    library.easySetopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    library.easySetopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    library.easySetopt(handle, CURLOPT_NOSIGNAL, 1L);
    library.easySetopt(handle, CURLOPT_NOPROXY, hostsNeverProxied);
    library.easySetopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    library.easySetopt(handle, CURLOPT_ERRORBUFFER, detail);
    library.easySetopt(handle, CURLOPT_HTTPHEADER, headers.get());
    library.easySetopt(handle, CURLOPT_CONNECTTIMEOUT_MS, milliseconds(connectLimit));
    library.easySetopt(handle, CURLOPT_TIMEOUT_MS, request.timeouts.total ? milliseconds(*request.timeouts.total) : 0L);
    library.easySetopt(handle, CURLOPT_NOPROGRESS, 0L);
    library.easySetopt(handle, CURLOPT_XFERINFOFUNCTION, &watchIdleTime);
    library.easySetopt(handle, CURLOPT_XFERINFODATA, &exchange);
    library.easySetopt(handle, CURLOPT_WRITEFUNCTION, &receiveBody);
    library.easySetopt(handle, CURLOPT_WRITEDATA, &exchange);
    library.easySetopt(handle, CURLOPT_HEADERFUNCTION, &receiveHeaderLine);
    library.easySetopt(handle, CURLOPT_HEADERDATA, &exchange);

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

    const CURLcode code = library.easyPerform(handle);
    if (code != CURLE_OK) {
        return errorOf(library, code, exchange, detail, request);
    }
    long status = 0;
    library.easyGetinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return HTTPClientResponse{static_cast<int>(status), std::move(exchange.headers), std::move(exchange.body)};
}

}  // namespace lumenary::platform
