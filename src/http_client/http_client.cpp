#include "http_client/http_client.hpp"

#include <optional>

#include "http_client/http_client_library.hpp"
#include "http_client/http_transfer_setup.hpp"

namespace lumenary::http_client {

namespace {

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

// What the callbacks of one exchange collect.
struct Exchange {
    HTTPHeaderFields headers;
    std::string body;
    std::size_t maximumBodyBytes = 0;
    bool bodyTooLarge = false;
    IdleWatch idle;
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

std::size_t receiveHeaderLine(char* data, std::size_t size, std::size_t count, void* context) {
    auto& exchange = *static_cast<Exchange*>(context);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
        // A new response head, for example the final one after an interim
        // 1xx: only the last head's fields belong to the response.
        exchange.headers.clear();
    } else {
        exchange.headers.addLine(line);
    }
    return length;
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
    char detail[CURL_ERROR_SIZE] = {};

    HeaderList headers(nullptr, HeaderListDeleter{&library});
    // Resetting keeps the open connection for the next exchange.
    const ResetOptionsOnExit resetOptions{library, handle};
    if (auto error = prepareTransfer(library, handle, request, headers, detail, exchange.idle)) {
        return *error;
    }
    library.easySetopt(handle, CURLOPT_WRITEFUNCTION, &receiveBody);
    library.easySetopt(handle, CURLOPT_WRITEDATA, &exchange);
    library.easySetopt(handle, CURLOPT_HEADERFUNCTION, &receiveHeaderLine);
    library.easySetopt(handle, CURLOPT_HEADERDATA, &exchange);

    const CURLcode code = library.easyPerform(handle);
    if (code != CURLE_OK) {
        return transferError(library, code, detail, exchange.idle,
                             exchange.bodyTooLarge ? std::optional(exchange.maximumBodyBytes) : std::nullopt, request);
    }
    long status = 0;
    library.easyGetinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return HTTPClientResponse{static_cast<int>(status), std::move(exchange.headers), std::move(exchange.body)};
}

}  // namespace lumenary::http_client
